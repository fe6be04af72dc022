#include "app/OptionsDialog.h"

#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QShortcut>

namespace hoplark {

TformOptions::TformOptions(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(303, 361);
    QFont dialogFont(QStringLiteral("Arial"));
    dialogFont.setPixelSize(11);
    setFont(dialogFont);

    auto* Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 289, 254);

    const auto checkBox = [this](const QString& caption, int top, int width) {
        auto* box = new QCheckBox(caption, this);
        box->setGeometry(24, top, width, 17);
        return box;
    };
    const auto label = [this](const QString& caption, int left, int top, int width) {
        auto* text = new QLabel(caption, this);
        text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        text->setGeometry(left, top, width, 14);
        return text;
    };
    const auto edit = [this](const QString& designText, int top) {
        auto* field = new QLineEdit(designText, this);
        field->setGeometry(176, top, 65, 22);
        return field;
    };

    cbColorHops = checkBox(QStringLiteral("Color HOP column by speed"), 22, 249);
    cbColorGraph = checkBox(QStringLiteral("Color graph background"), 46, 249);
    QLabel* Label1 = label(QStringLiteral(" Warning (yellow) speed (ms):"), 21, 81, 147);
    editWarningSpeed = edit(QStringLiteral("editWarningSpeed"), 78);
    QLabel* Label2 = label(QStringLiteral("Critical (red) speed (ms):"), 48, 107, 120);
    editBadSpeed = edit(QStringLiteral("editBadSpeed"), 104);
    Label1->setBuddy(editWarningSpeed);
    Label2->setBuddy(editBadSpeed);
    cboxShowCheck = checkBox(QStringLiteral("Draw X on graph for current sample"), 134, 257);
    cbShowCurrentTime = checkBox(QStringLiteral("Show current sample time in grid"), 158, 257);
    cbIgnoreFirstHop = checkBox(QStringLiteral("Ignore first hop?"), 182, 257);
    cbIgnoreFirstHop->setToolTip(QStringLiteral(
        "Sometimes the first hop ALWAYS times out.  If this is the case, check this box."));
    // Below the original settings, which keep their places; the dialog grows to hold it.
    cbShowFractions = checkBox(QStringLiteral("Show times to 0.01 ms"), 206, 257);
    cbLossVerdicts = checkBox(QStringLiteral("Show loss verdicts and responder changes"), 230, 257);
    cbLossVerdicts->setToolTip(
        QStringLiteral("Mutes the lost count of routers that only limit their answers, marks "
                       "hops answered by several addresses and shows the loss to the "
                       "destination."));

    // A group of its own below the frame, so the original settings keep their places.
    auto* addressGroup = new QGroupBox(QStringLiteral("Trace a name at"), this);
    addressGroup->setGeometry(8, 266, 289, 50);
    const auto radio = [addressGroup](const QString& caption, int left, int width) {
        auto* button = new QRadioButton(caption, addressGroup);
        button->setGeometry(left, 22, width, 17);
        return button;
    };
    rbAddressAuto = radio(QStringLiteral("its &first address"), 10, 116);
    rbAddressAuto->setToolTip(
        QStringLiteral("The first address the resolver gives, in the system's own order of "
                       "preference (/etc/gai.conf)."));
    rbAddressIPv4 = radio(QStringLiteral("IPv&4"), 134, 66);
    rbAddressIPv6 = radio(QStringLiteral("IPv&6"), 206, 66);
    auto* addressButtons = new QButtonGroup(this);
    for (QRadioButton* button : {rbAddressAuto, rbAddressIPv4, rbAddressIPv6})
        addressButtons->addButton(button);
    rbAddressAuto->setChecked(true);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setGeometry(79, 330, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setGeometry(159, 330, 75, 25);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    // OK first, so it has the focus on opening; "Ignore first hop?" comes before the
    // current-time box although it stands below it.
    QWidget* order[] = {
        OKBtn,          CancelBtn,     cbColorHops,      cbColorGraph,      editWarningSpeed,
        editBadSpeed,   cboxShowCheck, cbIgnoreFirstHop, cbShowCurrentTime, cbShowFractions,
        cbLossVerdicts, rbAddressAuto, rbAddressIPv4,    rbAddressIPv6};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    OKBtn->setFocus();

    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] {
        if (helpRequested_) helpRequested_(HelpContext);
    });
}

}  // namespace hoplark
