#pragma once

#include <QString>
#include <ostream>

// Lets GoogleTest print QString values in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
