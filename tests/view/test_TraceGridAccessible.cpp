#include <gtest/gtest.h>

#include <QAccessible>

#include "view/TraceCellPainter.h"
#include "view/TraceGrid.h"

namespace hoplark {
namespace {

TEST(TraceGridAccessible, AScreenReaderReadsEveryHopRowAsOneSentence) {
    TraceState state;
    DisplayOptions options;
    TTraceGrid grid;
    TraceCellPainter painter([&]() -> const TraceState& { return state; }, options, grid);
    grid.setRowDescriptionHandler([&](int row) { return painter.rowDescription(row); });

    THostInfo& silent = state.HopList.append();
    silent.AddSample(LOST_SAMPLE, {0, 0});
    THostInfo& named = state.HopList.append();
    named.IP = QStringLiteral("10.0.0.2");
    named.DNSName = NO_NAME;
    named.AddSample(7, {0, 0});
    THostInfo& core = state.HopList.append();
    core.IP = QStringLiteral("10.0.0.1");
    core.DNSName = QStringLiteral("core-1.example");
    for (qint32 sample : {10, LOST_SAMPLE, 14, LOST_SAMPLE})
        core.AddSample(sample, {0, static_cast<qint32>(core.Samples.size())});
    grid.setRowCount(4);

    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->role(), QAccessible::Table);
    EXPECT_FALSE(table->text(QAccessible::Name).isEmpty());
    ASSERT_EQ(table->childCount(), 3);
    const QString expected[] = {
        QStringLiteral("hop 1, no answer, 1 lost"),
        QStringLiteral("hop 2, 10.0.0.2, average 7 ms"),
        QStringLiteral("hop 3, 10.0.0.1, core-1.example, average 12 ms, 2 lost"),
    };
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* row = table->child(i);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->role(), QAccessible::Row);
        EXPECT_EQ(row->text(QAccessible::Name), expected[i]);
        EXPECT_EQ(table->indexOfChild(row), i);
        EXPECT_EQ(row->parent(), table);
        // The same row is the same interface each time it is asked for.
        EXPECT_EQ(table->child(i), row);
    }
    EXPECT_EQ(table->child(3), nullptr);
}

}  // namespace
}  // namespace hoplark
