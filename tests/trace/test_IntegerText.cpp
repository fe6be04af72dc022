#include <gtest/gtest.h>

#include "trace/HoplarkError.h"
#include "trace/IntegerText.h"

namespace hoplark {
namespace {

struct IntegerCase {
    const char* text;
    std::optional<qint32> dollarOnly;
    std::optional<qint32> withZeroX;
};

TEST(IntegerText, AcceptsOnlyTheOneForm) {
    const IntegerCase cases[] = {
        {"150", 150, 150},
        {" 150", 150, 150},
        {"   -42", -42, -42},
        {"+7", 7, 7},
        {"150 ", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {" ", std::nullopt, std::nullopt},
        {"-", std::nullopt, std::nullopt},
        {"abc", std::nullopt, std::nullopt},
        {"12a", std::nullopt, std::nullopt},
        {"1.5", std::nullopt, std::nullopt},
        {"Unlimited", std::nullopt, std::nullopt},
        {"ALL", std::nullopt, std::nullopt},
        {"$96", 150, 150},
        {"$ff", 255, 255},
        {"$FFFFFFFF", -1, -1},
        {"$100000000", std::nullopt, std::nullopt},
        {"$", std::nullopt, std::nullopt},
        {"0x12C", std::nullopt, 300},
        {"0X12c", std::nullopt, 300},
        {"0x", std::nullopt, std::nullopt},
        {"2147483647", 2147483647, 2147483647},
        {"-2147483648", qint32(-2147483647 - 1), qint32(-2147483647 - 1)},
        {"2147483648", std::nullopt, std::nullopt},
        {"99999999999999999999", std::nullopt, std::nullopt},
        {"007", 7, 7},
        {"\t5", std::nullopt, std::nullopt},
    };
    for (const IntegerCase& c : cases) {
        const QString text = QString::fromLatin1(c.text);
        EXPECT_EQ(parseIntegerText(text), c.dollarOnly) << c.text;
        EXPECT_EQ(parseIntegerText(text, HexPrefixes::DollarOrZeroX), c.withZeroX) << c.text;
    }
    EXPECT_EQ(integerTextOr(u"abc", 200), 200);
    EXPECT_EQ(integerTextOr(u"$96", 200), 150);
}

TEST(ErrorBoxText, AppendsAFullStopOnlyWhenNeeded) {
    EXPECT_EQ(errorBoxText("Host name or IP Address required."),
              "Host name or IP Address required.");
    EXPECT_EQ(errorBoxText("Host: x could not be found!"), "Host: x could not be found!");
    EXPECT_EQ(errorBoxText("Floating point overflow"), "Floating point overflow.");
    EXPECT_EQ(errorBoxText("Unable to write to /x/Hoplark.INI"),
              "Unable to write to /x/Hoplark.INI.");
    EXPECT_EQ(errorBoxText("ends in a space "), "ends in a space ");
    EXPECT_EQ(errorBoxText(""), "");
}

}  // namespace
}  // namespace hoplark
