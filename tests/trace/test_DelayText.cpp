#include <gtest/gtest.h>

#include <variant>

#include "trace/DelayText.h"
#include "trace/HoplarkError.h"

namespace hoplark {
namespace {

// Either milliseconds or the error message.
std::variant<qint32, QString> delayOf(const char* text, QChar separator = u'.') {
    try {
        return GetDelayMs(QString::fromUtf8(text), separator);
    } catch (const HoplarkError& error) {
        return error.message();
    }
}

TEST(GetDelayMs, ConvertsTextToMilliseconds) {
    const std::pair<const char*, qint32> cases[] = {
        {"10 Seconds", 10000},
        {"10", 10000},
        {"  5 minutes ", 300000},
        {"1.5 Hours", 5400000},
        {"596 Hours", 2145600000},
        {"10 ms", 600000},  // the first letter decides: M is minutes
        {"10 x", 10000},
        {"10  Seconds", 10000},  // a second space means seconds
        {"0 Seconds", 15000},
        {"0.0001 Seconds", 15000},
        {"-5 Seconds", -5000},
        {"2.5 Seconds", 2500},
        {"0.1 Seconds", 100},
        {"1 Second", 1000},
        {".", 15000},
        {". Seconds", 15000},
        {"1e3", 1000000},
        {"1E-3 Seconds", 1},
        {"+2 Minutes", 120000},
        {"\t7 Seconds\n", 7000},
        {"2147483.647", 2147483647},
        {"-2147483.647", -2147483647},
        {"1e-200", 15000},
        // Decimal text is read exactly: no millisecond is lost to binary rounding.
        {"2.3 Seconds", 2300},
        {"0.7 Seconds", 700},
        {"119.999 Seconds", 119999},
        {"4.35 Seconds", 4350},
        {"0.29 Minutes", 17400},
        {"1.001", 1001},
        {"2.9999", 2999},  // truncation toward zero stays
        {"-2.9999", -2999},
    };
    for (const auto& [text, ms] : cases) {
        EXPECT_EQ(delayOf(text), (std::variant<qint32, QString>(ms))) << text;
    }
}

TEST(GetDelayMs, ReportsTheUsersMessages) {
    const std::pair<const char*, const char*> cases[] = {
        {"abc Seconds", "'abc ' is not a valid floating point value"},
        {"", "'' is not a valid floating point value"},
        {"Seconds", "'Seconds' is not a valid floating point value"},
        {"1,5 Seconds", "'1,5 ' is not a valid floating point value"},
        {"1e Seconds", "'1e ' is not a valid floating point value"},
        {"- Seconds", "'- ' is not a valid floating point value"},
        {"600 Hours", "Invalid floating point operation"},
        {"2147483.648", "Invalid floating point operation"},
        {"35792 Minutes", "Invalid floating point operation"},
        {"1e38", "Invalid floating point operation"},
        {"1e39", "Floating point overflow"},
        {"-2e38 Hours", "Floating point overflow"},
        {"1e99999999", "Floating point overflow"},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(delayOf(text), (std::variant<qint32, QString>(QString::fromUtf8(message))))
            << text;
    }
}

TEST(GetDelayMs, UsesTheLocaleSeparator) {
    EXPECT_EQ(delayOf("2,5 Seconds", u','), (std::variant<qint32, QString>(2500)));
    EXPECT_EQ(delayOf("2.5 Seconds", u','), (std::variant<qint32, QString>(QStringLiteral(
                                                "'2.5 ' is not a valid floating point value"))));
    EXPECT_EQ(FormatDelay(2500, u','), "2,5 Seconds");
}

TEST(DelayUnit, TellsMillisecondUnitsFromFormsOfMinutes) {
    const std::pair<const char*, bool> cases[] = {
        {"10 ms", true},     {"10 MS", true},          {"5 msec", true},
        {"2 millis", true},  {"2 Milliseconds", true}, {" 10 ms Seconds ", true},
        {"10 m", false},     {"10 min", false},        {"10 Minutes", false},
        {"1 Minute", false}, {"10 mins", false},       {"10 Seconds", false},
        {"10", false},       {"500ms", false},         {"10  ms", false},  // read as seconds
        {"2 Hours", false},  {"10 minutesx", true},
    };
    for (const auto& [text, millisecondLike] : cases)
        EXPECT_EQ(DelayUnitLooksLikeMilliseconds(text), millisecondLike) << text;
}

TEST(FormatDelay, GivesCanonicalText) {
    const std::pair<qint32, const char*> cases[] = {
        {1000, "1 Second"},          {2500, "2.5 Seconds"},     {60000, "60 Seconds"},
        {90000, "90 Seconds"},       {120000, "2 Minutes"},     {210000, "3.5 Minutes"},
        {3600000, "60 Minutes"},     {5400000, "90 Minutes"},   {7200000, "2 Hours"},
        {119999, "119.999 Seconds"}, {2300, "2.3 Seconds"},     {-5000, "-5 Seconds"},
        {15000, "15 Seconds"},       {2145600000, "596 Hours"}, {60000 * 61, "61 Minutes"},
        {1, "0.001 Seconds"},        {0, "0 Seconds"},
    };
    for (const auto& [ms, text] : cases)
        EXPECT_EQ(FormatDelay(ms, u'.'), text) << ms;
}

TEST(FormatDelay, NormalisesWhatUsersType) {
    const std::pair<const char*, const char*> cases[] = {
        {"1.5 Hours", "90 Minutes"},
        {"120 Seconds", "2 Minutes"},
        {"5", "5 Seconds"},
        {"0", "15 Seconds"},
        {"2.3 Seconds", "2.3 Seconds"},
        {"596 Hours", "596 Hours"},
        {"0.7 Seconds", "0.7 Seconds"},
    };
    for (const auto& [typed, shown] : cases) {
        EXPECT_EQ(FormatDelay(GetDelayMs(typed, u'.'), u'.'), shown) << typed;
    }
}

TEST(DelayLadder, StepsThroughThePresets) {
    struct Step {
        const char* from;
        const char* up;
        const char* down;
    };
    const Step cases[] = {
        {"12 Seconds", "30 Seconds", "15 Seconds"}, {"-5 Seconds", "2.5 Seconds", "1 Second"},
        {"0 Seconds", "30 Seconds", "10 Seconds"},  {"0.5 Seconds", "2.5 Seconds", "1 Second"},
        {"1 Second", "2.5 Seconds", "1 Second"},    {"60 Minutes", "60 Minutes", "30 Minutes"},
        {"2 Hours", "60 Minutes", "30 Minutes"},    {"15 Seconds", "30 Seconds", "10 Seconds"},
        {"90 Seconds", "2 Minutes", "60 Seconds"},  {"3.5 Minutes", "5 Minutes", "2 Minutes"},
    };
    for (const Step& c : cases) {
        const qint32 ms = GetDelayMs(c.from, u'.');
        EXPECT_EQ(FormatDelay(StepDelayLadder(ms, LadderDirection::Up), u'.'), c.up) << c.from;
        EXPECT_EQ(FormatDelay(StepDelayLadder(ms, LadderDirection::Down), u'.'), c.down) << c.from;
    }
}

TEST(TraceCount, ShowsUnlimitedOnlyForZero) {
    EXPECT_EQ(TraceCountDisplayText("0"), "Unlimited");
    EXPECT_EQ(TraceCountDisplayText("00"), "00");
    EXPECT_EQ(TraceCountDisplayText("3"), "3");
    EXPECT_EQ(TraceCountDisplayText(""), "");
    EXPECT_EQ(TraceCountDisplayText("Unlimited"), "Unlimited");
}

}  // namespace
}  // namespace hoplark
