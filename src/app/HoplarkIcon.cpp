#include "app/HoplarkIcon.h"

// The icons live in this static library's resources, which need registering by hand.
static void registerIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace hoplark {

QIcon hoplarkIcon() {
    registerIconResources();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace hoplark
