#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace hoplark {

// The About box: the program's emblem, name and version, our notice and an acknowledgement.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProductName;
    QLabel* Version;
    QPushButton* OKButton;

protected:
    // Escape does not close the box: it has no cancel button.
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace hoplark
