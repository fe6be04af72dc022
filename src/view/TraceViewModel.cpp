#include "view/TraceViewModel.h"

#include "trace/TraceSession.h"

namespace hoplark {

TraceViewModel::TraceViewModel(const TraceSession& session, QObject* parent)
    : QObject(parent), session_(session) {
    connect(&session, &TraceSession::startingChanged, this, [this] {
        updateQueryingText();
        updateAnimation();
    });
    connect(&session, &TraceSession::pendingChanged, this, [this] {
        updateQueryingText();
        updateAnimation();
    });
    connect(&session, &TraceSession::tracingChanged, this, &TraceViewModel::updateAnimation);
    connect(&session, &TraceSession::windowChanged, this, &TraceViewModel::updateStatusPanels);
    connect(&session, &TraceSession::samplesTakenChanged, this, [this] {
        updateStatusPanels();
        // A new sample count comes with the rounds taken set anew.
        updateHistorySliderPanel(false);
    });
    connect(&session, &TraceSession::shownHopsChanged, this, &TraceViewModel::takeShownHops);
}

void TraceViewModel::updateQueryingText() {
    // A start's lookups come before any worker of its trace is out: the two never overlap.
    QString text;
    if (session_.isStarting())
        text = ResolvingText;
    else if (session_.pendingQueries() != 0)
        text = QueryingText;
    if (text == queryingText_) return;
    queryingText_ = text;
    emit queryingTextChanged(text);
}

void TraceViewModel::updateAnimation() {
    const bool starting = session_.isStarting();
    const bool visible = starting || session_.isTracing();
    // Workers of a stopped trace may still be out: they do not bring back a hidden animation.
    const bool playing = visible && (starting || session_.pendingQueries() != 0);
    if (visible == animationVisible_ && playing == animationPlaying_) return;
    animationVisible_ = visible;
    animationPlaying_ = playing;
    emit busyAnimationChanged(visible, playing);
}

void TraceViewModel::updateStatusPanels() {
    const TraceState& state = session_.state();
    const QString traceCount = QStringLiteral("Trace Count: %1").arg(state.SamplesTaken);
    const QString displayed = state.SamplesTaken > 0 ? QStringLiteral("Displayed Samples: %1 to %2")
                                                           .arg(state.Window.FirstSample + 1)
                                                           .arg(state.Window.LastSample + 1)
                                                     : QString();
    if (traceCount == traceCountText_ && displayed == displayedSamplesText_) return;
    traceCountText_ = traceCount;
    displayedSamplesText_ = displayed;
    emit statusPanelsChanged(traceCount, displayed);
}

void TraceViewModel::takeShownHops(int hops) {
    rowCount_ = hops + 1;
    emit rowCountChanged(rowCount_);
}

void TraceViewModel::miShowHistorySliderClick() {
    sliderChecked_ = !sliderChecked_;
    updateHistorySliderPanel(true);
}

void TraceViewModel::updateHistorySliderPanel(bool checkedChanged) {
    const bool visible =
        sliderChecked_ && session_.state().SamplesTaken != 0 && session_.sampleCount() != 0;
    if (!checkedChanged && visible == sliderPanelVisible_) return;
    sliderPanelVisible_ = visible;
    emit historySliderPanelChanged(sliderChecked_, visible);
}

}  // namespace hoplark
