#pragma once

#include <QString>
#include <QStringList>

namespace hoplark {

// The destination history, most recent first, as plain texts exactly as the user typed them.

// True when two entries name the same destination: equal once the letters a-z are upper-cased.
// Nothing else is normalised, so "Host" matches "host" but "host " does not.
bool IsSameDestination(const QString& a, const QString& b);

// Records a destination that resolved: if the top entry is already the same destination it stays
// as it is (its own letter case included); otherwise the first matching entry, if any, is removed
// and the text is inserted on top as typed.
void RecordDestination(QStringList& history, const QString& typed);

// The one-time sort: ascending, letter case ignored, entries that compare equal keep their order.
// Later insertions still go on top.
void SortHistoryOnce(QStringList& history);

}  // namespace hoplark
