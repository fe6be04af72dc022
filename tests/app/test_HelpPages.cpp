// The help pages: every topic opens and links only to topics that exist, and what the pages say
// about columns and commands matches what the program does.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include "app/HelpWindow.h"

namespace hoplark {
namespace {

QString page(const QString& file) {
    QFile resource(QStringLiteral(":/help/") + file);
    if (!resource.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(resource.readAll());
}

// The page's text as a reader sees it: tags gone, white space folded.
QString plainText(const QString& html) {
    QString text = html;
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    return text.simplified();
}

TEST(HelpPages, EveryTopicOpensAndLinksOnlyToTopicsThatExist) {
    const QStringList files = QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")});
    ASSERT_GE(files.size(), 8);
    THelpWindow help;
    const QRegularExpression link(QStringLiteral(R"(href="([^"#:]+\.html))"));
    for (const QString& file : files) {
        SCOPED_TRACE(file.toStdString());
        const QString html = page(file);
        ASSERT_FALSE(html.isEmpty());
        EXPECT_TRUE(html.contains(QStringLiteral("<h2>")));
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(files.contains(target)) << target.toStdString();
        }
    }
    // The contexts and the contents open topics of their own.
    help.showContext(1);
    EXPECT_FALSE(help.currentTopic().isEmpty());
    help.showContext(2);
    EXPECT_FALSE(help.currentTopic().isEmpty());
    help.showContents();
    EXPECT_FALSE(help.currentTopic().isEmpty());
}

QStringList listedFiles(const QListWidget& list) {
    QStringList files;
    for (int i = 0; i < list.count(); ++i)
        files << list.item(i)->data(Qt::UserRole).toString();
    return files;
}

// A page missing from the Contents list or the search cannot be found at all, however well it
// is written.
TEST(HelpPages, EveryPageIsInTheContentsAndFoundBySearchingItsWords) {
    const QStringList files = QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")});
    THelpWindow help;
    auto* tabs = help.findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    auto* contents = qobject_cast<QListWidget*>(tabs->widget(0));
    ASSERT_NE(contents, nullptr);
    const QStringList listed = listedFiles(*contents);
    EXPECT_EQ(listed.first(), "index.html");
    for (const QString& file : files)
        EXPECT_EQ(listed.count(file), 1) << file.toStdString();
    EXPECT_EQ(listed.size(), files.size());

    // Every page is found by the words of its own heading.
    const QRegularExpression heading(QStringLiteral("<h2>(.*?)</h2>"));
    for (const HelpTopic& topic : help.topics()) {
        const QString words = plainText(heading.match(page(topic.file)).captured(1));
        ASSERT_FALSE(words.isEmpty()) << topic.file.toStdString();
        EXPECT_TRUE(help.search(words).contains(topic.title)) << topic.file.toStdString();
    }

    // Typed into the Search page, a word only the recordings page uses lists it.
    help.showSearch();
    auto* edit = help.findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    QTest::keyClicks(edit, QStringLiteral("sqlite"));
    QListWidget* results = nullptr;
    for (QListWidget* list : help.findChildren<QListWidget*>())
        if (list != contents) results = list;
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(listedFiles(*results).contains("recordings.html"));
    EXPECT_TRUE(help.search(QStringLiteral("recording")).contains(QStringLiteral("Recordings")));

    // Chosen from the contents, it opens.
    const int row = int(listed.indexOf("recordings.html"));
    ASSERT_GE(row, 0);
    emit contents->itemClicked(contents->item(row));
    EXPECT_EQ(help.currentTopic(), "recordings.html");
}

// Claims a page makes about a column or command, and wrong ones it once made.
struct Claim {
    const char* file;
    const char* says;     // must appear in the page's text
    const char* mustNot;  // must not appear (empty: nothing checked)
};

TEST(HelpPages, ClaimsAboutColumnsAndCommandsMatchTheProgram) {
    const Claim claims[] = {
        // The lost count is over every sample of the trace, not the statistics window.
        {"graph.html", "Lost probes over the whole trace",
         "Lost probes within the statistics window"},
        // A double-click copies the entry into the field and starts nothing.
        {"main-window.html", "it does not start a trace", "Double-click one to trace it again"},
        // Restart resumes the stopped trace with its data.
        {"main-window.html", "nothing is reset", "keeps the destination and starts afresh"},
        // The round-count arrows cover 0 to 100.
        {"main-window.html", "The arrows step from 0 to 100", "up to 100 with the arrows"},
        {"main-window.html", "Unlimited (0)", ""},
    };
    for (const Claim& claim : claims) {
        SCOPED_TRACE(std::string(claim.file) + ": " + claim.says);
        const QString text = plainText(page(QString::fromLatin1(claim.file)));
        ASSERT_FALSE(text.isEmpty());
        EXPECT_TRUE(text.contains(QString::fromUtf8(claim.says)));
        if (*claim.mustNot) {
            EXPECT_FALSE(text.contains(QString::fromUtf8(claim.mustNot)));
        }
    }
}

}  // namespace
}  // namespace hoplark
