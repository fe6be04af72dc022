#include "app/HistoryList.h"

#include <algorithm>

namespace hoplark {

namespace {

QChar upperAsciiLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') ? QChar(char16_t(u - u'a' + u'A')) : c;
}

}  // namespace

bool IsSameDestination(const QString& a, const QString& b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (upperAsciiLetter(a[i]) != upperAsciiLetter(b[i])) return false;
    }
    return true;
}

void RecordDestination(QStringList& history, const QString& typed) {
    if (!history.isEmpty() && IsSameDestination(history.first(), typed)) return;
    const auto match = std::find_if(history.begin(), history.end(), [&](const QString& entry) {
        return IsSameDestination(entry, typed);
    });
    if (match != history.end()) history.erase(match);
    history.insert(0, typed);
}

void SortHistoryOnce(QStringList& history) {
    std::stable_sort(history.begin(), history.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
}

}  // namespace hoplark
