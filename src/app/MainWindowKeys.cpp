#include "app/MainWindowKeys.h"

#include <QKeyEvent>

#include "app/MainWindow.h"

namespace hoplark {

MainWindowKeys::MainWindowKeys(TformMain& form) : QObject(&form), form_(form) {
    form.lbHistory->installEventFilter(this);
    form.drgrTrace->installEventFilter(this);
}

bool MainWindowKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == form_.drgrTrace && key->matches(QKeySequence::Copy)) {
        form_.CopyasText1Click();
        return true;
    }
    if (watched == form_.lbHistory && key->modifiers() == Qt::NoModifier)
        return historyKey(key->key());
    // The keypad's Enter comes with the keypad modifier.
    if (watched == form_.lbHistory && key->modifiers() == Qt::KeypadModifier)
        return historyKey(key->key());
    return false;
}

bool MainWindowKeys::historyKey(int key) {
    QListWidgetItem* item = form_.lbHistory->currentItem();
    const bool onRow = item && item->isSelected();
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // As a double-click on the row, then Trace; without a row Enter is the window's.
            if (!onRow) return false;
            form_.lbHistoryDblClick();
            form_.btnTraceClick();
            return true;
        case Qt::Key_Delete:
            form_.Delete1Click();
            return true;
        default:
            return false;
    }
}

}  // namespace hoplark
