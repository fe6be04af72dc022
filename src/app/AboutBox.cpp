#include "app/AboutBox.h"

#include <QDesktopServices>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QUrl>

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

const QString TAboutBox::ProjectAddress = QStringLiteral("https://hoplark.example.org/");

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
    setWindowIcon(hoplarkIcon());
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(301, 258);
    setFont(arialPixels(13));

    auto* Panel1 = new QFrame(this);
    Panel1->setGeometry(8, 8, 281, 201);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);

    auto* ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setGeometry(8, 8, 65, 57);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(programEmblem(devicePixelRatioF()));

    ProductName = new QLabel(QStringLiteral("Hoplark"), Panel1);
    ProductName->setFont(arialPixels(19, true));
    ProductName->move(88, 16);
    Version = new QLabel(QStringLiteral("Version 1.00.2"), Panel1);
    Version->move(88, 40);

    auto* notice = new QLabel(QStringLiteral("Free software by the Hoplark developers."), Panel1);
    notice->move(8, 80);

    auto* Comments = new QLabel(QStringLiteral("Check for the latest version at:"), Panel1);
    Comments->setGeometry(8, 104, 265, 25);
    Comments->setWordWrap(true);

    Label1 = new QLabel(ProjectAddress, Panel1);
    Label1->move(8, 128);
    QFont linkFont = font();
    linkFont.setUnderline(true);
    Label1->setFont(linkFont);
    Label1->setStyleSheet(QStringLiteral("color: blue"));
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);

    auto* Label2 = new QLabel(
        QStringLiteral(
            "Thanks to the authors of mtr, traceroute and Qt, whose work showed the way."),
        Panel1);
    Label2->setGeometry(8, 160, 265, 33);
    Label2->setWordWrap(true);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(111, 220, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1 && event->type() == QEvent::MouseButtonRelease) {
        Label1Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TAboutBox::Label1Click() {
    // Whether a browser opened is not reported.
    QDesktopServices::openUrl(QUrl(Label1->text()));
}

}  // namespace hoplark
