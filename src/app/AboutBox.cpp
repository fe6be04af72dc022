#include "app/AboutBox.h"

#include <QFrame>
#include <QKeyEvent>
#include <QPainter>

#include "app/CommandLine.h"
#include "app/Fonts.h"
#include "app/HoplarkIcon.h"

namespace hoplark {

namespace {

// The program's emblem, square and centred on the picture's 65 x 57 pixels so that
// stretching it to fit leaves it undistorted, at the screen's pixel density.
QPixmap programEmblem(qreal devicePixelRatio) {
    const QSize logical(65, 57);
    QPixmap pixmap(logical * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const int side = logical.height();
    const QRect square((logical.width() - side) / 2, 0, side, side);
    hoplarkIcon().paint(&painter, square);
    return pixmap;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(hoplarkIcon());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(301, 206);
    setFont(arialPixels(13));

    auto* Panel1 = new QFrame(this);
    Panel1->setGeometry(8, 8, 281, 149);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);

    auto* ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setGeometry(8, 8, 65, 57);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(programEmblem(devicePixelRatioF()));

    ProductName = new QLabel(QStringLiteral("Hoplark"), Panel1);
    ProductName->setFont(arialPixels(19, true));
    ProductName->move(88, 16);
    // The same version `hoplark --version` prints.
    Version = new QLabel(QStringLiteral("Version %1").arg(ProgramVersion()), Panel1);
    Version->move(88, 40);

    // The project has no public home page to point to, so the box names none.
    auto* notice = new QLabel(QStringLiteral("Free software by the Hoplark developers."), Panel1);
    notice->move(8, 80);

    auto* Label2 = new QLabel(
        QStringLiteral(
            "Thanks to the authors of mtr, traceroute and Qt, whose work showed the way."),
        Panel1);
    Label2->setGeometry(8, 108, 265, 33);
    Label2->setWordWrap(true);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(111, 168, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace hoplark
