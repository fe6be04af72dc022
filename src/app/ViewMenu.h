#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QObject>
#include <functional>
#include <map>

#include "view/StatisticsColumns.h"

namespace hoplark {

// The window's "&View" menu: what the window shows besides the fixed grid. Its "Statistics
// &Columns" submenu holds one check item per statistics column and two presets, "Like &mtr" and
// "&None". Every choice goes to the handler; the window's state comes back with showColumns().
// "&Unreachable Reasons" says in the marker row and the copied text which router reported the
// destination unreachable and why.
class ViewMenu : public QObject {
    Q_OBJECT

public:
    using ColumnsHandler = std::function<void(const StatisticsColumns&)>;

    // Adds the menu at the end of `bar`, owned by `owner`.
    ViewMenu(QMenuBar& bar, QWidget& owner, ColumnsHandler onColumns);

    QMenu* menu() const { return menu_; }
    QMenu* statisticsMenu() const { return statistics_; }
    QAction* columnAction(StatisticsColumn column) const { return columnActions_.at(column); }
    QAction* likeMtrAction() const { return likeMtr_; }
    QAction* noneAction() const { return none_; }
    // A check item; the window follows its toggles.
    QAction* unreachableReasonsAction() const { return unreachableReasons_; }

    // Checks the items of the columns shown (and a preset that equals them), calling nothing.
    void showColumns(const StatisticsColumns& columns);

private:
    StatisticsColumns checkedColumns() const;
    void choose(const StatisticsColumns& columns);

    ColumnsHandler onColumns_;
    QMenu* menu_;
    QMenu* statistics_;
    std::map<StatisticsColumn, QAction*> columnActions_;
    QAction* likeMtr_;
    QAction* none_;
    QAction* unreachableReasons_;
};

}  // namespace hoplark
