#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace hoplark {

// The message boxes the main window shows. The window decides what to say and when; this only
// shows it, so tests can record the texts instead of blocking on modal boxes.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // A failed user action: a modal error box titled "Hoplark".
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // A failed user action that names a file or folder: the error box, with `path` on a line of
    // its own that can be selected and copied.
    virtual void showErrorWithPath(QWidget* parent, const QString& text, const QString& path) = 0;
    // The ICMP facility could not start: a modal box captioned "Error" with the error icon.
    virtual void showStartupError(QWidget* parent, const QString& text) = 0;
    // A probe worker failed: a box that does not block, so rounds go on while it is shown.
    // `closed` runs when the user dismisses it.
    virtual void showWorkerError(QWidget* parent, const QString& text,
                                 std::function<void()> closed) = 0;
};

}  // namespace hoplark
