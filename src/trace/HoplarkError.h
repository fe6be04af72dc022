#pragma once

#include <QString>
#include <stdexcept>

namespace hoplark {

// A failed user action. The action undoes its visible changes before throwing; the UI shows
// the message in an error box titled "Hoplark" (see errorBoxText).
class HoplarkError : public std::runtime_error {
public:
    explicit HoplarkError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}

    const QString& message() const { return message_; }

private:
    QString message_;
};

// The text an error box shows: the message, with "." appended unless it already ends in a
// character that sorts at or below "." (so "...found!" and "required." stay as they are).
QString errorBoxText(const QString& message);

}  // namespace hoplark
