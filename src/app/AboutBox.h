#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace hoplark {

// The About box: the program's emblem, name and version, our notice, the project page (a
// click opens it in the browser) and an acknowledgement.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);

    static const QString ProjectAddress;

    QLabel* ProductName;
    QLabel* Version;
    QLabel* Label1;
    QPushButton* OKButton;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Escape does not close the box: it has no cancel button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Label1Click();
};

}  // namespace hoplark
