#include "view/Panel.h"

namespace hoplark {

void TPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    emit resized();
}

}  // namespace hoplark
