#include "app/StatusPanels.h"

namespace hoplark {

TStatusPanels::TStatusPanels(QWidget* parent) : QStatusBar(parent) {
    setFixedHeight(Height);
    const int widths[] = {100, 125, 0};
    for (int i = 0; i < 3; ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (widths[i] > 0) panels_[i]->setFixedWidth(widths[i]);
        // The last panel takes the rest of the bar.
        addWidget(panels_[i], widths[i] > 0 ? 0 : 1);
    }
    notice_ = new QLabel(this);
    notice_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    addPermanentWidget(notice_);
    notice_->hide();
}

void TStatusPanels::setNotice(const QString& text) {
    notice_->setText(text);
    notice_->setToolTip(text);
    notice_->setVisible(!text.isEmpty());
}

}  // namespace hoplark
