#pragma once

#include <QString>
#include <stdexcept>

namespace hoplark {

// A recording that cannot be written or read, with the text to show the user.
class RecordingError : public std::runtime_error {
public:
    // Cancelled: the caller gave up on a load before it finished; nothing to show.
    enum class Kind { Io, DiskFull, NotARecording, Corrupt, TooNew, Cancelled };

    RecordingError(Kind kind, const QString& message)
        : std::runtime_error(message.toStdString()), kind_(kind), message_(message) {}

    Kind kind() const { return kind_; }
    const QString& message() const { return message_; }

private:
    Kind kind_;
    QString message_;
};

}  // namespace hoplark
