// The window as a shell: closing with help open, help from the modal Options dialog, the target
// labels' width, the smallest window, and the status bar while menus are hovered.
#include <gtest/gtest.h>

#include <algorithm>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/HelpWindow.h"
#include "app/MainWindow.h"
#include "app/OptionsDialog.h"
#include "app/WindowFakes.h"
#include "support/TempSettings.h"

namespace hoplark {
namespace {

class WindowShellTest : public ::testing::Test {
protected:
    WindowShellTest() : form(settings.path(), fakes.services()) {}

    void showAt(int width, int height) {
        form.move(0, 0);
        form.resize(width, height);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QTest::qWait(20);
    }

    // The part of `widget` that can be seen inside the window's central area.
    QRect visiblePart(QWidget* widget) const {
        const QRect inWindow(widget->mapTo(&form, QPoint(0, 0)), widget->size());
        const QWidget* central = form.centralWidget();
        const QRect area(central->mapTo(&form, QPoint(0, 0)), central->size());
        return inWindow.intersected(area);
    }

    testing::TempSettings settings;
    testing::FakeWindowServices fakes;
    TformMain form;
};

TEST_F(WindowShellTest, ExitAlsoClosesAnOpenHelpWindow) {
    showAt(712, 394);
    form.HelpContents();
    QPointer<THelpWindow> help = form.helpWindow();
    ASSERT_TRUE(help->isVisible());

    form.Exit1Click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(!help || !help->isVisible());
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible()) << window->metaObject()->className();
}

TEST_F(WindowShellTest, HelpFromTheOptionsDialogCanBeUsedWhileTheDialogIsOpen) {
    showAt(712, 394);
    QPointer<THelpWindow> help;
    bool opened = false;
    QString typed;
    form.setDialogRunner([&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            QTest::keyClick(&dialog, Qt::Key_F1);
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (auto* shown = qobject_cast<THelpWindow*>(window); shown && shown->isVisible())
                    help = shown;
            }
            opened = !help.isNull();
            if (help) {
                EXPECT_EQ(help->currentTopic(), "options.html");
                help->showSearch();
                EXPECT_TRUE(QTest::qWaitForWindowExposed(help));
                // Through the window system, where a window blocked by the modal dialog would
                // lose the keys.
                for (const char key : std::string("graph"))
                    QTest::keyClick(help->windowHandle(), key);
                typed = help->searchText();
            }
            dialog.reject();
        });
        return dialog.exec();
    });
    form.Options1Click();
    EXPECT_TRUE(opened) << "F1 opened no help";
    EXPECT_EQ(typed, "graph");
}

TEST_F(WindowShellTest, TargetNameReachesTheLegendAndIsCutOnlyWithoutRoom) {
    const QString longName = QStringLiteral(
        "a-rather-long-host-name.of-a-router.in-a-data-centre"
        ".example.net");
    form.lblHostName->setText(longName);
    form.ShowLegend(true);
    showAt(1400, 500);
    const int needed = form.lblHostName->fontMetrics().horizontalAdvance(longName);
    EXPECT_GT(needed, 300);
    EXPECT_FALSE(form.lblHostName->elided());
    EXPECT_EQ(form.lblHostName->shownText(), longName);
    // Never under the legend.
    EXPECT_LE(form.lblHostName->geometry().right(), form.pnlColors->geometry().left());

    form.resize(500, 300);
    QTest::qWait(20);
    EXPECT_TRUE(form.lblHostName->elided());
    EXPECT_TRUE(form.lblHostName->shownText().endsWith(QChar(0x2026)));
    EXPECT_EQ(form.lblHostName->text(), longName);  // what the clipboard copies stays whole
    EXPECT_EQ(form.lblHostName->toolTip(), longName);
    EXPECT_LE(form.lblHostName->geometry().right(), form.pnlColors->geometry().left());
}

TEST_F(WindowShellTest, AtTheSmallestSizeTheTraceButtonIsWhole) {
    for (const QString& entry : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
        form.lbHistory->addItem(entry);
    showAt(500, 300);
    EXPECT_EQ(form.size(), QSize(500, 300));
    EXPECT_EQ(visiblePart(form.btnTrace),
              QRect(form.btnTrace->mapTo(&form, QPoint(0, 0)), form.btnTrace->size()));
    EXPECT_EQ(visiblePart(form.GroupBox2).height(), form.GroupBox2->height());
    EXPECT_GT(form.lbHistory->height(), 0);
}

TEST_F(WindowShellTest, HoveringMenuItemsKeepsTheThreePanels) {
    showAt(712, 394);
    form.StatusPanel1->setText(QStringLiteral("Trace Count: 3"));
    for (QAction* menu : form.menuBar()->actions()) {
        for (QAction* item : menu->menu()->actions()) {
            if (item->isSeparator()) continue;
            // What a menu does for the item under the mouse.
            item->showStatusText(&form);
            EXPECT_TRUE(form.StatusBar->currentMessage().isEmpty()) << item->text().toStdString();
            for (QLabel* panel : {form.StatusPanel0, form.StatusPanel1, form.StatusPanel2})
                EXPECT_TRUE(panel->isVisible()) << item->text().toStdString();
        }
    }
    EXPECT_EQ(form.StatusPanel1->text(), "Trace Count: 3");
    // The hints are still there, as tool tips.
    const QList<QAction*> menus = form.menuBar()->actions();
    const auto help = std::find_if(menus.begin(), menus.end(), [](QAction* menu) {
        return menu->text() == QStringLiteral("&Help");
    });
    ASSERT_NE(help, menus.end());
    const QList<QAction*> helpItems = (*help)->menu()->actions();
    EXPECT_EQ(helpItems.at(0)->toolTip(), "Display the help contents screen");
}

// The letter after a single '&', lower case; none for a caption without one.
std::optional<QChar> mnemonicOf(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != u'&') continue;
        if (caption[i + 1] != u'&') return caption[i + 1].toLower();
        ++i;  // "&&" is a literal ampersand
    }
    return std::nullopt;
}

// Alt and a letter must lead to one item: a letter two items share only cycles between them.
// Every menu the window has, menus added later included: the menu bar, its menus and their
// submenus, and the pop-up menus.
TEST_F(WindowShellTest, NoMenuGivesOneMnemonicToTwoItems) {
    std::vector<std::pair<QString, QList<QAction*>>> menus = {
        {QStringLiteral("menu bar"), form.menuBar()->actions()}};
    for (QMenu* menu : form.findChildren<QMenu*>())
        menus.emplace_back(menu->title(), menu->actions());
    int checked = 0;
    for (const auto& [title, actions] : menus) {
        std::map<QChar, QString> taken;
        for (QAction* action : actions) {
            const std::optional<QChar> letter = mnemonicOf(action->text());
            if (!letter) continue;
            ++checked;
            const auto [at, fresh] = taken.emplace(*letter, action->text());
            EXPECT_TRUE(fresh) << title.toStdString() << ": '" << action->text().toStdString()
                               << "' and '" << at->second.toStdString() << "'";
        }
    }
    // The menu bar's four menus and at least their items.
    EXPECT_GE(menus.size(), 5u);
    EXPECT_GE(checked, 15);
}

TEST_F(WindowShellTest, CtrlCCopiesAsTextAsTheEditMenuShowsAndCtrlQExits) {
    showAt(712, 394);
    const QKeySequence copy(Qt::CTRL | Qt::Key_C);
    EXPECT_EQ(form.CopyasText1->shortcut(), copy);
    EXPECT_TRUE(form.Copy1->shortcut().isEmpty());
    // Shown in the Edit menu beside the item: the menu draws the action's shortcut.
    EXPECT_TRUE(form.menuBar()->actions()[1]->menu()->actions().contains(form.CopyasText1));

    // From the grid, and from the Trace button, which has no copy of its own.
    for (QWidget* focus :
         {static_cast<QWidget*>(form.drgrTrace), static_cast<QWidget*>(form.btnTrace)}) {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_C, Qt::ControlModifier);
        EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("Target Name:")))
            << focus->metaObject()->className();
    }
    // A field keeps its own copy of the selected text.
    form.editDestination->setText(QStringLiteral("typed.example"));
    form.editDestination->setFocus();
    form.editDestination->selectAll();
    QTest::keyClick(form.editDestination, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("typed.example"));

    QTest::keyClick(form.btnTrace, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(form.isVisible());
    // As File > Exit: the settings are written.
    EXPECT_TRUE(settings.read().contains(QStringLiteral("[Position]")));
}

// A screen reader can name every control the keyboard reaches, and the inputs describe
// themselves with their hints.
TEST_F(WindowShellTest, EveryControlTheKeyboardReachesHasAnAccessibleName) {
    showAt(704, 380);
    int reached = 0;
    for (QWidget* widget : form.findChildren<QWidget*>()) {
        if (!widget->isVisible() || !(widget->focusPolicy() & Qt::TabFocus)) continue;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr);
        SCOPED_TRACE(widget->metaObject()->className());
        EXPECT_FALSE(accessible->text(QAccessible::Name).trimmed().isEmpty());
        ++reached;
    }
    EXPECT_GE(reached, 6);
    QAccessibleInterface* destination = QAccessible::queryAccessibleInterface(form.editDestination);
    EXPECT_EQ(destination->text(QAccessible::Name), "Address to trace");
    EXPECT_FALSE(destination->text(QAccessible::Description).isEmpty());
}

}  // namespace
}  // namespace hoplark
