#pragma once

#include <QDialog>
#include <QList>
#include <QString>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;

namespace hoplark {

// One page of the help: its file among the compiled-in pages and the title it is listed by.
struct HelpTopic {
    QString file;
    QString title;
};

// The program's help: topics written in HTML and compiled into the program, with a contents
// list, a search over the topics' text and the reading pane.
class THelpWindow : public QDialog {
    Q_OBJECT

public:
    explicit THelpWindow(QWidget* parent = nullptr);

    // Opens the contents page.
    void showContents();
    // Opens the search page with an empty search text.
    void showSearch();
    // Opens the page on using this help.
    void showHowToUse();
    // Opens the topic for a help context: 1 the main window, 2 the Options dialog.
    void showContext(int context);

    QString currentTopic() const;
    QString searchText() const;
    // Titles of the topics that contain every word of `text`.
    QStringList search(const QString& text) const;
    // The pages the Contents list offers, in its order.
    const QList<HelpTopic>& topics() const { return topics_; }

private:
    void showTopic(const QString& file);
    void runSearch();

    QList<HelpTopic> topics_;
    QTabWidget* tabs_;
    QListWidget* contents_;
    QLineEdit* searchEdit_;
    QListWidget* results_;
    QTextBrowser* browser_;
};

}  // namespace hoplark
