#include "view/TraceGridAccessible.h"

#include "view/TraceGrid.h"

namespace hoplark {

namespace {

// One hop row: a leaf whose name is the row's sentence.
class TraceRowAccessible : public QAccessibleInterface {
public:
    TraceRowAccessible(TTraceGrid* grid, int row) : grid_(grid), row_(row) {}

    bool isValid() const override { return grid_ && row_ < grid_->rowCount(); }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(grid_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name && t != QAccessible::Description) return {};
        return grid_->rowDescription(row_);
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const int top = (row_ - grid_->topRow() + 1) * TTraceGrid::DefaultRowHeight;
        const QPoint origin = grid_->viewport()->mapToGlobal(QPoint(0, top));
        return QRect(origin, QSize(grid_->cellsWidth(), TTraceGrid::DefaultRowHeight));
    }
    QAccessible::Role role() const override { return QAccessible::Row; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.readOnly = true;
        state.invisible = row_ < grid_->topRow();
        return state;
    }
    int row() const { return row_; }

private:
    TTraceGrid* grid_;
    int row_;
};

QAccessibleInterface* gridFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("hoplark::TTraceGrid") && object && object->isWidgetType())
        return new TraceGridAccessible(static_cast<TTraceGrid*>(object));
    return nullptr;
}

}  // namespace

TraceGridAccessible::TraceGridAccessible(TTraceGrid* grid)
    : QAccessibleWidget(grid, QAccessible::Table) {}

TTraceGrid* TraceGridAccessible::grid() const {
    return static_cast<TTraceGrid*>(widget());
}

int TraceGridAccessible::childCount() const {
    // The header row is not a hop.
    return std::max(0, grid()->rowCount() - 1);
}

QAccessibleInterface* TraceGridAccessible::child(int index) const {
    if (index < 0 || index >= childCount()) return nullptr;
    // Registered once per row and kept, so a screen reader can hold on to it.
    if (rows_.size() <= static_cast<size_t>(index)) rows_.resize(index + 1, 0);
    QAccessible::Id& id = rows_[static_cast<size_t>(index)];
    if (id != 0) {
        if (QAccessibleInterface* known = QAccessible::accessibleInterface(id)) return known;
    }
    auto* row = new TraceRowAccessible(grid(), index + 1);
    id = QAccessible::registerAccessibleInterface(row);
    return row;
}

int TraceGridAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (!child || child->role() != QAccessible::Row) return -1;
    return static_cast<const TraceRowAccessible*>(child)->row() - 1;
}

QString TraceGridAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) return QStringLiteral("Trace");
    if (t == QAccessible::Description)
        return QStringLiteral(
            "One row per hop: hop number, address, name, average time and lost "
            "samples");
    return QAccessibleWidget::text(t);
}

void TraceGridAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(gridFactory);
        return true;
    }();
    (void)installed;
}

}  // namespace hoplark
