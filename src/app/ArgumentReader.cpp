#include "app/ArgumentReader.h"

namespace hoplark {

QString ArgumentReader::value() {
    if (index_ + 1 >= arguments_.size()) {
        fail(QStringLiteral("%1 needs a value").arg(current()));
        return {};
    }
    return arguments_[++index_];
}

}  // namespace hoplark
