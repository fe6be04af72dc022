#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <functional>

namespace hoplark {

// The Options dialog: the two latency thresholds and the display flags. It holds nothing but
// its controls; the main window fills them before showing it and reads them back on OK.
class TformOptions : public QDialog {
    Q_OBJECT

public:
    explicit TformOptions(QWidget* parent = nullptr);

    // Called with HelpContext when the user presses F1.
    void setHelpHandler(std::function<void(int context)> handler) {
        helpRequested_ = std::move(handler);
    }

    static constexpr int HelpContext = 2;

    QCheckBox* cbColorHops;
    QCheckBox* cbColorGraph;
    QLineEdit* editWarningSpeed;
    QLineEdit* editBadSpeed;
    QCheckBox* cboxShowCheck;
    QCheckBox* cbShowCurrentTime;
    QCheckBox* cbIgnoreFirstHop;
    QCheckBox* cbShowFractions;
    QCheckBox* cbLossVerdicts;
    // Which of a name's addresses is traced: the resolver's first, or the first of one family.
    QRadioButton* rbAddressAuto;
    QRadioButton* rbAddressIPv4;
    QRadioButton* rbAddressIPv6;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

private:
    std::function<void(int context)> helpRequested_;
};

}  // namespace hoplark
