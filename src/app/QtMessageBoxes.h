#pragma once

#include "app/MessageBoxes.h"

namespace hoplark {

// The program's message boxes on screen.
class QtMessageBoxes : public MessageBoxes {
public:
    void showError(QWidget* parent, const QString& text) override;
    void showErrorWithPath(QWidget* parent, const QString& text, const QString& path) override;
    void showStartupError(QWidget* parent, const QString& text) override;
    void showWorkerError(QWidget* parent, const QString& text,
                         std::function<void()> closed) override;
};

}  // namespace hoplark
