#include <gtest/gtest.h>

#include <QStringList>

#include "trace/UnreachableReason.h"
#include "view/TraceText.h"

namespace hoplark {
namespace {

THostInfo& addHop(TraceState& state, std::initializer_list<qint32> samples, const QString& ip,
                  const QString& name) {
    THostInfo& hop = state.HopList.append();
    for (qint32 value : samples)
        hop.AddSample(value, state.Window);
    hop.IP = ip;
    hop.DNSName = name;
    return hop;
}

TEST(TraceText, BeforeTheFirstTrace) {
    EXPECT_EQ(BuildTraceText(TraceState{}, QStringLiteral("N/A"), QStringLiteral("N/A")),
              QStringLiteral("Target Name: N/A\r\n         IP: N/A\r\n\r\n"));
}

TEST(TraceText, OneFieldPerWindowPositionWithLostAndMissingAsAsterisks) {
    TraceState state;
    state.Window = {2, 11};  // ten positions
    addHop(state, {5, 6, 7}, QStringLiteral("10.0.0.1"), QStringLiteral("gw"));
    addHop(state, {1, 2, 3, 4, 5, 6, LOST_SAMPLE, 8, 9, 10, 1234, 12}, QStringLiteral("10.0.0.2"),
           NO_NAME);
    addHop(state, {LOST_SAMPLE}, QString(), QString());
    THostInfo& marker = addHop(state, {}, QString(), UNREACHABLE_NAME);
    marker.Unreachable = true;

    const QString star = QStringLiteral("  *     ");
    QString expected = QStringLiteral("Target Name: host\r\n         IP: 10.0.0.9\r\n\r\n");
    expected +=
        QStringLiteral(" 1    7 ms ") + star.repeated(9) + QStringLiteral(" gw [10.0.0.1]\r\n");
    expected += QStringLiteral(" 2    3 ms    4 ms    5 ms    6 ms ") + star +
                QStringLiteral("   8 ms    9 ms   10 ms 1234 ms   12 ms  [10.0.0.2]\r\n");
    expected += QStringLiteral(" 3 ") + star.repeated(10) + QStringLiteral("  []\r\n");
    expected += QStringLiteral(" 4 ") + star.repeated(10) +
                QStringLiteral(" Destination Address Unreachable []\r\n");
    EXPECT_EQ(BuildTraceText(state, QStringLiteral("host"), QStringLiteral("10.0.0.9")), expected);
}

TEST(TraceText, AnUnreachablePathListsTheGridsRowsAndWhoReportedIt) {
    // A full table whose target never answered: the marker ends the grid, and the records
    // past it, which never answered, are not copied.
    TraceState state;
    state.Window = {0, 0};
    addHop(state, {4}, QStringLiteral("10.0.0.1"), QStringLiteral("gw"));
    THostInfo& marker = addHop(state, {LOST_SAMPLE}, QString(), UNREACHABLE_NAME);
    marker.Unreachable = true;
    while (state.HopList.count() < HopTable::MaxHops)
        addHop(state, {LOST_SAMPLE}, QString(), QString());
    state.UnreachableFrom = QStringLiteral("10.0.3.1");
    const QString text = BuildTraceText(state, QStringLiteral("x"), QStringLiteral("10.98.0.1"));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 3 + 2 + 2) << text.toStdString();
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral(" 2 "))) << text.toStdString();
    EXPECT_EQ(lines[5], QStringLiteral("Destination unreachable, reported by 10.0.3.1"));
    EXPECT_EQ(lines[6], QString());
}

TEST(TraceText, UnreachableReasonNamesTheRouterAndTheCodeInWords) {
    TraceState state;
    state.UnreachableFrom = QStringLiteral("10.0.3.1");
    state.UnreachableCode = 1;
    const auto lastLine = [&state](bool reason) {
        const QStringList lines = BuildTraceText(state, QStringLiteral("x"), QStringLiteral("y"),
                                                 false, {}, nullptr, reason)
                                      .split(QStringLiteral("\r\n"));
        return lines[lines.size() - 2];
    };
    EXPECT_EQ(lastLine(false), QStringLiteral("Destination unreachable, reported by 10.0.3.1"));
    EXPECT_EQ(lastLine(true),
              QStringLiteral("Destination unreachable: host unreachable from 10.0.3.1"));
    state.UnreachableCode = 13;
    EXPECT_EQ(lastLine(true),
              QStringLiteral("Destination unreachable: administratively prohibited from 10.0.3.1"));
    state.UnreachableCode.reset();
    EXPECT_EQ(lastLine(true), QStringLiteral("Destination unreachable: unreachable from 10.0.3.1"));
    EXPECT_EQ(UnreachableCodeText(0), QStringLiteral("network unreachable"));
    EXPECT_EQ(UnreachableCodeText(2), QStringLiteral("protocol unreachable"));
    EXPECT_EQ(UnreachableCodeText(3), QStringLiteral("port unreachable"));
    EXPECT_EQ(UnreachableCodeText(99), QStringLiteral("unreachable (code 99)"));
    // ICMPv6 codes say the same things in the same words; other messages give no code.
    EXPECT_EQ(UnreachableCodeOf(false, 3, 10), std::optional<quint8>(10));
    EXPECT_EQ(UnreachableCodeOf(false, 11, 0), std::nullopt);
    EXPECT_EQ(UnreachableCodeText(*UnreachableCodeOf(true, 1, 0)),
              QStringLiteral("network unreachable"));
    EXPECT_EQ(UnreachableCodeText(*UnreachableCodeOf(true, 1, 1)),
              QStringLiteral("administratively prohibited"));
    EXPECT_EQ(UnreachableCodeText(*UnreachableCodeOf(true, 1, 3)),
              QStringLiteral("host unreachable"));
    EXPECT_EQ(UnreachableCodeText(*UnreachableCodeOf(true, 1, 4)),
              QStringLiteral("port unreachable"));
    EXPECT_EQ(UnreachableCodeOf(true, 3, 0), std::nullopt);
    EXPECT_EQ(UnreachableCodeOf(true, 1, 7), std::nullopt);
}

TEST(TraceText, EmptyWindowGivesNoSampleFields) {
    TraceState state;
    state.Window = {3, 2};
    addHop(state, {5}, QStringLiteral("1.2.3.4"), QStringLiteral("a"));
    EXPECT_EQ(BuildTraceText(state, QStringLiteral("x"), QStringLiteral("y")),
              QStringLiteral("Target Name: x\r\n         IP: y\r\n\r\n 1  a [1.2.3.4]\r\n"));
}

TEST(TraceText, FractionsGiveEachSampleToHundredthsInAWiderField) {
    TraceState state;
    state.Window = {0, 3};
    THostInfo& hop = addHop(state, {}, QStringLiteral("10.0.0.1"), QStringLiteral("gw"));
    for (qint32 us : {7254, 1234567}) {
        SampleDetail detail;
        detail.roundTripUs = us;
        hop.AddSample(us / 1000, state.Window, detail, hop.IP);
    }
    hop.AddSample(LOST_SAMPLE, state.Window);
    const QString header = QStringLiteral("Target Name: h\r\n         IP: a\r\n\r\n");
    EXPECT_EQ(BuildTraceText(state, QStringLiteral("h"), QStringLiteral("a"), true),
              header + QStringLiteral(" 1    7.25 ms 1234.57 ms   *          *         gw "
                                      "[10.0.0.1]\r\n"));
    // Off, the same record reads in whole milliseconds as before.
    EXPECT_EQ(BuildTraceText(state, QStringLiteral("h"), QStringLiteral("a")),
              header + QStringLiteral(" 1    7 ms 1234 ms   *       *      gw [10.0.0.1]\r\n"));
}

}  // namespace
}  // namespace hoplark
