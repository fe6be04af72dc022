#pragma once

#include <QString>
#include <QStringList>

namespace hoplark {

// Walks command-line arguments one at a time, an option's value taken from the argument after
// it; the first problem is kept and ends the walk.
class ArgumentReader {
public:
    ArgumentReader(const QStringList& arguments, qsizetype from)
        : arguments_(arguments), index_(from - 1) {}

    // Moves to the next argument; false at the end or once an error is set.
    bool next() { return error_.isEmpty() && ++index_ < arguments_.size(); }
    const QString& current() const { return arguments_[index_]; }
    bool is(const char* name, const char* shortName = nullptr) const {
        return current() == QLatin1String(name) ||
               (shortName && current() == QLatin1String(shortName));
    }
    // The current option's value; empty with the error set when none follows.
    QString value();

    void fail(const QString& error) {
        if (error_.isEmpty()) error_ = error;
    }
    const QString& error() const { return error_; }

private:
    const QStringList& arguments_;
    qsizetype index_;
    QString error_;
};

}  // namespace hoplark
