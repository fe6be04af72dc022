#pragma once

#include <QObject>
#include <QString>

namespace hoplark {

class TraceSession;

// What the main window shows of a trace session as texts and counts: the status bar panels and
// the grid's row count. The session reports plain facts (rounds taken, the statistics window,
// workers out, a start waiting, hop rows); this turns them into what the controls display, so
// that the session stays free of presentation and a driver without a window (the report) reads
// the facts directly.
class TraceViewModel : public QObject {
    Q_OBJECT

public:
    static inline const QString ResolvingText = QStringLiteral("Resolving...");
    static inline const QString QueryingText = QStringLiteral("Querying");

    // Follows `session` from now on; the texts start empty, as the status bar does, and the
    // row count at the header row alone. The session must outlive this object.
    explicit TraceViewModel(const TraceSession& session, QObject* parent = nullptr);

    // Status panel 0: "Resolving..." while a start waits for its lookups, "Querying" while
    // workers of the trace are out, "" otherwise.
    const QString& queryingText() const { return queryingText_; }
    // Status panel 1: "Trace Count: N".
    const QString& traceCountText() const { return traceCountText_; }
    // Status panel 2: "Displayed Samples: A to B" (1-based, inclusive), "" before any round.
    const QString& displayedSamplesText() const { return displayedSamplesText_; }
    // Grid rows, the header row included.
    int rowCount() const { return rowCount_; }

signals:
    void queryingTextChanged(const QString& text);
    // Panels 1 and 2; sent only when either text differs from what was last sent.
    void statusPanelsChanged(const QString& traceCount, const QString& displayedSamples);
    // Sent whenever the session reports its hop rows, even unchanged: a stored trace just
    // loaded has new rows in the same number.
    void rowCountChanged(int rows);

private:
    void updateQueryingText();
    void updateStatusPanels();
    void takeShownHops(int hops);

    const TraceSession& session_;
    QString queryingText_;
    QString traceCountText_;
    QString displayedSamplesText_;
    int rowCount_ = 1;
};

}  // namespace hoplark
