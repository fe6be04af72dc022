#include "app/AboutBox.h"

#include <QDesktopServices>
#include <QFrame>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

#include "app/Fonts.h"

namespace hoplark {

namespace {

// The program's emblem: a latency trace climbing over hop markers on a sky-blue card.
QPixmap programEmblem() {
    QPixmap pixmap(65, 57);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(30, 60, 110), 1.5));
    painter.setBrush(QColor(210, 230, 250));
    painter.drawRoundedRect(QRectF(1.5, 1.5, 62, 54), 8, 8);
    painter.setBrush(QColor(218, 255, 217));
    painter.setPen(Qt::NoPen);
    painter.drawRect(QRectF(8, 38, 49, 10));
    const QPointF hops[] = {{10, 42}, {22, 34}, {33, 37}, {44, 20}, {55, 12}};
    painter.setPen(QPen(QColor(255, 0, 0), 2));
    for (size_t i = 0; i + 1 < std::size(hops); ++i)
        painter.drawLine(hops[i], hops[i + 1]);
    painter.setBrush(QColor(255, 0, 0));
    for (const QPointF& hop : hops)
        painter.drawEllipse(hop, 2.5, 2.5);
    return pixmap;
}

}  // namespace

const QString TAboutBox::ProjectAddress = QStringLiteral("https://hoplark.example.org/");

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About"));
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
    ProgramIcon->setPixmap(programEmblem());

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
