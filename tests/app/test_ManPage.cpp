// The manual page against the program's own usage texts: whatever --help lists, the page's
// synopsis and its option descriptions name too, so the page cannot fall behind an option.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

namespace hoplark {
namespace {

QString helpOutput(const QStringList& arguments) {
    QProcess program;
    program.start(QStringLiteral(HOPLARK_BINARY_DIR "/hoplark"), arguments);
    if (!program.waitForFinished(60000) || program.exitCode() != 0) return {};
    return QString::fromUtf8(program.readAllStandardOutput());
}

// The usage lines: the one starting "Usage:" and the indented lines that follow it.
QString usageLines(const QString& help) {
    QStringList lines;
    for (const QString& line : help.split(u'\n')) {
        if (line.startsWith(QStringLiteral("Usage:")) ||
            (!lines.isEmpty() && line.startsWith(u' '))) {
            lines << line;
        } else if (!lines.isEmpty()) {
            break;
        }
    }
    return lines.join(u'\n');
}

QSet<QString> matches(const QString& text, const QString& pattern) {
    QSet<QString> found;
    const QRegularExpression expression(pattern);
    for (auto it = expression.globalMatch(text); it.hasNext();)
        found.insert(it.next().captured(0));
    return found;
}

QSet<QString> longOptions(const QString& text) {
    return matches(text, QStringLiteral(R"(--[a-z][a-z-]*[a-z])"));
}

// The page's source with its escaped hyphens plain, as a reader sees the options.
QString manPageText() {
    QFile page(QStringLiteral(HOPLARK_SOURCE_DIR "/data/hoplark.1"));
    if (!page.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(page.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
}

QString section(const QString& page, const QString& name) {
    const qsizetype start = page.indexOf(QStringLiteral(".SH ") + name);
    if (start < 0) return {};
    const qsizetype end = page.indexOf(QStringLiteral("\n.SH "), start + 1);
    return page.mid(start, end < 0 ? -1 : end - start);
}

TEST(ManPage, NamesEveryOptionAndArgumentTheHelpListsInItsSynopsisAndDescriptions) {
    const QString page = manPageText();
    ASSERT_FALSE(page.isEmpty());
    const QString synopsis = section(page, QStringLiteral("SYNOPSIS"));
    ASSERT_FALSE(synopsis.isEmpty());
    const QString body = page.mid(page.indexOf(synopsis) + synopsis.size());

    const QStringList helps = {helpOutput({QStringLiteral("--help")}),
                               helpOutput({QStringLiteral("--report"), QStringLiteral("--help")})};
    int options = 0;
    for (const QString& help : helps) {
        ASSERT_FALSE(help.isEmpty());
        const QString usage = usageLines(help);
        ASSERT_FALSE(usage.isEmpty()) << help.toStdString();
        // Every option and argument of the usage lines, in the synopsis.
        for (const QString& word : longOptions(usage) + matches(usage, QStringLiteral("[A-Z]{2,}")))
            EXPECT_TRUE(synopsis.contains(word)) << "synopsis lacks " << word.toStdString();
        // Every option the help mentions, described below the synopsis.
        for (const QString& option : longOptions(help)) {
            EXPECT_TRUE(body.contains(option)) << "no description of " << option.toStdString();
            ++options;
        }
    }
    EXPECT_GE(options, 15);
}

}  // namespace
}  // namespace hoplark
