#pragma once

#include <QObject>

namespace hoplark {

class TformMain;

// The keys the window's lists and grid answer beyond their own: Enter on a history row traces
// that row, Delete removes it, and the copy key on the grid copies the trace as text.
class MainWindowKeys : public QObject {
    Q_OBJECT

public:
    explicit MainWindowKeys(TformMain& form);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool historyKey(int key);

    TformMain& form_;
};

}  // namespace hoplark
