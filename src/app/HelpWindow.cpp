#include "app/HelpWindow.h"

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
#include <array>

// The topics live in this static library's resources, which need registering by hand.
static void registerHelpResources() {
    Q_INIT_RESOURCE(help);
}

namespace hoplark {

namespace {

struct Topic {
    const char* file;
    const char* title;
};

const std::array<Topic, 8> Topics = {{
    {"index.html", "Contents"},
    {"main-window.html", "The main window"},
    {"tracing.html", "Tracing a host"},
    {"graph.html", "Reading the grid and the graph"},
    {"options.html", "The Options dialog"},
    {"permissions.html", "Allowing ICMP without root"},
    {"settings.html", "Settings file and command line"},
    {"using-help.html", "How to use help"},
}};

const QString TopicRoot = QStringLiteral("qrc:/help/");

QString topicPlainText(const char* file) {
    QFile source(QStringLiteral(":/help/") + QLatin1String(file));
    if (!source.open(QIODevice::ReadOnly)) return {};
    QTextDocument document;
    document.setHtml(QString::fromUtf8(source.readAll()));
    return document.toPlainText();
}

}  // namespace

THelpWindow::THelpWindow(QWidget* parent) : QDialog(parent) {
    registerHelpResources();
    setWindowTitle(QStringLiteral("Hoplark Help"));
    resize(760, 520);

    tabs_ = new QTabWidget;
    contents_ = new QListWidget;
    for (const Topic& topic : Topics) {
        auto* item = new QListWidgetItem(QLatin1String(topic.title), contents_);
        item->setData(Qt::UserRole, QLatin1String(topic.file));
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
    showTopic(QStringLiteral("index.html"));
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
    showTopic(QStringLiteral("index.html"));
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
    for (const Topic& topic : Topics) {
        const QString body = topicPlainText(topic.file);
        bool all = true;
        for (const QString& word : words)
            all = all && body.contains(word, Qt::CaseInsensitive);
        if (all) titles << QLatin1String(topic.title);
    }
    return titles;
}

void THelpWindow::runSearch() {
    results_->clear();
    const QStringList titles = search(searchEdit_->text());
    for (const Topic& topic : Topics) {
        if (!titles.contains(QLatin1String(topic.title))) continue;
        auto* item = new QListWidgetItem(QLatin1String(topic.title), results_);
        item->setData(Qt::UserRole, QLatin1String(topic.file));
    }
}

}  // namespace hoplark
