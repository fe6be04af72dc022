#include "app/ViewMenu.h"

namespace hoplark {

namespace {

// The items' captions; every mnemonic is unique within the submenu.
QString ColumnCaption(StatisticsColumn column) {
    switch (column) {
        case StatisticsColumn::Loss:
            return QStringLiteral("&Loss% (window)");
        case StatisticsColumn::Sent:
            return QStringLiteral("&Snt");
        case StatisticsColumn::Last:
            return QStringLiteral("L&ast");
        case StatisticsColumn::Average:
            return QStringLiteral("A&vg");
        case StatisticsColumn::Best:
            return QStringLiteral("&Best");
        case StatisticsColumn::Worst:
            return QStringLiteral("&Wrst");
        case StatisticsColumn::StDev:
            return QStringLiteral("S&tDev");
        case StatisticsColumn::Jitter:
            break;
    }
    return QStringLiteral("&Jttr");
}

}  // namespace

ViewMenu::ViewMenu(QMenuBar& bar, QWidget& owner, ColumnsHandler onColumns)
    : QObject(&owner), onColumns_(std::move(onColumns)) {
    menu_ = bar.addMenu(QStringLiteral("&View"));
    statistics_ = menu_->addMenu(QStringLiteral("Statistics &Columns"));
    for (StatisticsColumn column : AllStatisticsColumns()) {
        QAction* action = statistics_->addAction(ColumnCaption(column));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this] { choose(checkedColumns()); });
        columnActions_[column] = action;
    }
    statistics_->addSeparator();
    likeMtr_ = statistics_->addAction(QStringLiteral("Like &mtr"));
    none_ = statistics_->addAction(QStringLiteral("&None"));
    for (QAction* preset : {likeMtr_, none_})
        preset->setCheckable(true);
    connect(likeMtr_, &QAction::triggered, this, [this] { choose(LikeMtrColumns()); });
    connect(none_, &QAction::triggered, this, [this] { choose({}); });
    unreachableReasons_ = menu_->addAction(QStringLiteral("&Unreachable Reasons"));
    unreachableReasons_->setCheckable(true);
    showColumns({});
}

StatisticsColumns ViewMenu::checkedColumns() const {
    StatisticsColumns columns;
    for (StatisticsColumn column : AllStatisticsColumns()) {
        if (columnActions_.at(column)->isChecked()) columns.push_back(column);
    }
    return columns;
}

void ViewMenu::choose(const StatisticsColumns& columns) {
    showColumns(columns);
    if (onColumns_) onColumns_(columns);
}

void ViewMenu::showColumns(const StatisticsColumns& columns) {
    for (const auto& [column, action] : columnActions_)
        action->setChecked(std::find(columns.begin(), columns.end(), column) != columns.end());
    likeMtr_->setChecked(columns == LikeMtrColumns());
    none_->setChecked(columns.empty());
}

}  // namespace hoplark
