#include <gtest/gtest.h>

#include "app/HistoryList.h"

namespace hoplark {
namespace {

struct RecordCase {
    const char* name;
    QStringList before;
    QString typed;
    QStringList after;
};

TEST(HistoryListTest, RecordDestinationKeepsOneEntryPerDestinationOnTop) {
    const RecordCase cases[] = {
        {"empty list", {}, "example", {"example"}},
        {"match below the top moves up as typed", {"b", "a", "c"}, "A", {"A", "b", "c"}},
        {"top match keeps its own case", {"A", "b"}, "a", {"A", "b"}},
        {"only the first match goes", {"x", "y", "y"}, "y", {"y", "x", "y"}},
        {"trailing blank is another destination", {"host"}, "host ", {"host ", "host"}},
        {"only a-z fold, not other letters",
         {"\u00e9t\u00e9"},
         "\u00c9T\u00c9",
         {"\u00c9T\u00c9", "\u00e9t\u00e9"}},
        {"new entry goes on top", {"a", "b"}, "c", {"c", "a", "b"}},
    };
    for (const RecordCase& c : cases) {
        QStringList history = c.before;
        RecordDestination(history, c.typed);
        EXPECT_EQ(history, c.after) << c.name;
    }
}

TEST(HistoryListTest, SortOnceIsCaseInsensitiveAndStableAndLaterInsertsGoOnTop) {
    QStringList history{"delta", "Alpha", "charlie"};
    SortHistoryOnce(history);
    EXPECT_EQ(history, (QStringList{"Alpha", "charlie", "delta"}));
    RecordDestination(history, "zulu");
    EXPECT_EQ(history, (QStringList{"zulu", "Alpha", "charlie", "delta"}));

    QStringList equalIgnoringCase{"b", "HOST", "a", "host", "Host"};
    SortHistoryOnce(equalIgnoringCase);
    EXPECT_EQ(equalIgnoringCase, (QStringList{"a", "b", "HOST", "host", "Host"}));
}

}  // namespace
}  // namespace hoplark
