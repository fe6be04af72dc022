#include "view/UpDown.h"

#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace hoplark {

TUpDown::TUpDown(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {up_, down_}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(button);
    }
    setFocusPolicy(Qt::NoFocus);
    connect(up_, &QToolButton::clicked, this, [this] { press(Button::Up); });
    connect(down_, &QToolButton::clicked, this, [this] { press(Button::Down); });
}

void TUpDown::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    position_ = std::clamp(position_, minimum_, maximum_);
}

void TUpDown::setPosition(int position) {
    position_ = std::clamp(position, minimum_, maximum_);
    if (associate_) associate_->setText(QString::number(position_));
}

void TUpDown::setAssociate(QLineEdit* edit) {
    associate_ = edit;
    if (edit) connect(edit, &QLineEdit::textChanged, this, &TUpDown::followAssociateText);
}

void TUpDown::followAssociateText(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok && value >= minimum_ && value <= maximum_) position_ = value;
}

void TUpDown::press(Button button) {
    const int next = button == Button::Up ? position_ + 1 : position_ - 1;
    if (next < minimum_ || next > maximum_) return;
    setPosition(next);
    emit clicked(button);
}

}  // namespace hoplark
