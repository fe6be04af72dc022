#pragma once

#include <QString>
#include <ostream>

// Lets GoogleTest print QString values in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// Lets QString values be streamed into GoogleTest failure messages.
inline std::ostream& operator<<(std::ostream& os, const QString& text) {
    return os << text.toStdString();
}
