#pragma once

#include <QFrame>

namespace hoplark {

// A plain container that reports when its size changes, for the window's resize rules.
class TPanel : public QFrame {
    Q_OBJECT

public:
    explicit TPanel(QWidget* parent = nullptr) : QFrame(parent) {}

signals:
    void resized();

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace hoplark
