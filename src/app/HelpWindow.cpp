#include "app/HelpWindow.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

// The topics live in this static library's resources, which need registering by hand.
static void registerHelpResources() {
    Q_INIT_RESOURCE(help);
}

namespace hoplark {

namespace {

const QString TopicRoot = QStringLiteral("qrc:/help/");
const QString ContentsPage = QStringLiteral("index.html");

QString topicHtml(const QString& file) {
    QFile source(QStringLiteral(":/help/") + file);
    if (!source.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(source.readAll());
}

// A page's title is its heading; a page without one goes by its file name.
QString topicTitle(const QString& file) {
    static const QRegularExpression heading(QStringLiteral("<h2>(.*?)</h2>"),
                                            QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = heading.match(topicHtml(file));
    if (!match.hasMatch()) return file;
    QTextDocument document;
    document.setHtml(match.captured(1));
    return document.toPlainText().simplified();
}

// Every page compiled into the program, so that a page added later cannot be left out of the
// contents and the search: the contents page first, then the pages in the order the contents
// page links them, then any it does not link, by file name.
QList<HelpTopic> loadTopics() {
    QStringList files = QDir(QStringLiteral(":/help"))
                            .entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    QStringList ordered;
    if (files.removeAll(ContentsPage) > 0) ordered << ContentsPage;
    static const QRegularExpression link(QStringLiteral(R"(href="([^"#:]+\.html))"));
    for (auto it = link.globalMatch(topicHtml(ContentsPage)); it.hasNext();) {
        const QString linked = it.next().captured(1);
        if (files.removeAll(linked) > 0) ordered << linked;
    }
    ordered << files;
    QList<HelpTopic> topics;
    for (const QString& file : ordered) {
        topics.append({file, file == ContentsPage ? QStringLiteral("Contents") : topicTitle(file)});
    }
    return topics;
}

QString topicPlainText(const QString& file) {
    QTextDocument document;
    document.setHtml(topicHtml(file));
    return document.toPlainText();
}

}  // namespace

THelpWindow::THelpWindow(QWidget* parent) : QDialog(parent) {
    registerHelpResources();
    topics_ = loadTopics();
    setWindowTitle(QStringLiteral("Hoplark Help"));
    resize(760, 520);

    tabs_ = new QTabWidget;
    contents_ = new QListWidget;
    for (const HelpTopic& topic : topics_) {
        auto* item = new QListWidgetItem(topic.title, contents_);
        item->setData(Qt::UserRole, topic.file);
    }
    tabs_->addTab(contents_, QStringLiteral("Contents"));

    auto* searchPage = new QWidget;
    auto* searchLayout = new QVBoxLayout(searchPage);
    searchLayout->addWidget(new QLabel(QStringLiteral("Type the words to find:")));
    searchEdit_ = new QLineEdit;
    searchLayout->addWidget(searchEdit_);
    results_ = new QListWidget;
    searchLayout->addWidget(results_);
    tabs_->addTab(searchPage, QStringLiteral("Search"));

    browser_ = new QTextBrowser;
    browser_->setOpenExternalLinks(true);
    browser_->setSearchPaths({QStringLiteral(":/help")});

    auto* splitter = new QSplitter;
    splitter->addWidget(tabs_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 3);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(splitter);

    const auto openItem = [this](QListWidgetItem* item) {
        if (item) showTopic(item->data(Qt::UserRole).toString());
    };
    connect(contents_, &QListWidget::itemActivated, this, openItem);
    connect(contents_, &QListWidget::itemClicked, this, openItem);
    connect(results_, &QListWidget::itemActivated, this, openItem);
    connect(results_, &QListWidget::itemClicked, this, openItem);
    connect(searchEdit_, &QLineEdit::textChanged, this, &THelpWindow::runSearch);
    showTopic(ContentsPage);
}

void THelpWindow::showTopic(const QString& file) {
    browser_->setSource(QUrl(TopicRoot + file));
    show();
    raise();
    activateWindow();
}

QString THelpWindow::currentTopic() const {
    return browser_->source().fileName();
}

QString THelpWindow::searchText() const {
    return searchEdit_->text();
}

void THelpWindow::showContents() {
    tabs_->setCurrentWidget(contents_);
    showTopic(ContentsPage);
}

void THelpWindow::showSearch() {
    searchEdit_->clear();
    tabs_->setCurrentIndex(1);
    show();
    raise();
    activateWindow();
    searchEdit_->setFocus();
}

void THelpWindow::showHowToUse() {
    showTopic(QStringLiteral("using-help.html"));
}

void THelpWindow::showContext(int context) {
    showTopic(context == 2 ? QStringLiteral("options.html") : QStringLiteral("main-window.html"));
}

QStringList THelpWindow::search(const QString& text) const {
    const QStringList words =
        text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    QStringList titles;
    if (words.isEmpty()) return titles;
    for (const HelpTopic& topic : topics_) {
        const QString body = topicPlainText(topic.file);
        bool all = true;
        for (const QString& word : words)
            all = all && body.contains(word, Qt::CaseInsensitive);
        if (all) titles << topic.title;
    }
    return titles;
}

void THelpWindow::runSearch() {
    results_->clear();
    const QStringList titles = search(searchEdit_->text());
    for (const HelpTopic& topic : topics_) {
        if (!titles.contains(topic.title)) continue;
        auto* item = new QListWidgetItem(topic.title, results_);
        item->setData(Qt::UserRole, topic.file);
    }
}

}  // namespace hoplark
