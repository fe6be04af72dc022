#pragma once

#include <QAccessibleWidget>
#include <vector>

namespace hoplark {

class TTraceGrid;

// What a screen reader sees of the trace grid: a table whose children are its hop rows, each
// read as one sentence ("hop 3, 10.0.0.1, core-1.example, average 12 ms, 2 lost").
class TraceGridAccessible : public QAccessibleWidget {
public:
    explicit TraceGridAccessible(TTraceGrid* grid);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text t) const override;

    // Installed once per process: answers for every TTraceGrid.
    static void install();

private:
    TTraceGrid* grid() const;

    mutable std::vector<QAccessible::Id> rows_;
};

}  // namespace hoplark
