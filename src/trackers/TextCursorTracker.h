#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/Point.h"
#include "core/Published.h"
#include "core/Rect.h"
#include "core/RepeatingTimer.h"
#include "core/Signal.h"

namespace glimmora {

class AppState;
class CaretSource;

/// Finds where the user is typing, for the focus band and the reading ruler in writing mode:
/// twenty times a second it takes the newest caret measurement of the accessibility layer
/// (CaretSource) and publishes the centre of the caret, in pixels and as fractions of the
/// primary monitor. A failed poll only clears `hasCursorPosition`; the position keeps its last
/// good value, so readers check that flag first.
///
/// It also keeps the desktop's accessibility on while `focusFollowsCursor` or
/// `rulerFollowsCursor` wants the caret (through the source), and logs where the caret is when
/// it is found again and every 100th poll, to standard output and the system log.
///
/// Main thread only: the poll timer, the source's start-up answer and the readers run there.
class TextCursorTracker {
public:
    /// The primary monitor in pixels of the X screen, or nothing when there is none.
    using MonitorSource = std::function<std::optional<Rect>()>;

    /// `appState` and `source` must outlive the tracker. The tracker owns `timer` and stops it
    /// before it goes.
    TextCursorTracker(AppState& appState, CaretSource& source, MonitorSource primaryMonitor,
                      std::unique_ptr<RepeatingTimer> timer);
    TextCursorTracker(const TextCursorTracker&) = delete;
    TextCursorTracker& operator=(const TextCursorTracker&) = delete;
    ~TextCursorTracker();

    /// Emitted before any published field changes; no payload.
    Signal<>& objectWillChange() { return objectWillChange_; }

private:
    Signal<> objectWillChange_;  // declared first: every published field below refers to it

public:
    /// Centre of the caret (or selection) rectangle in pixels of the X screen.
    Published<Point> cursorPosition{objectWillChange_, Point{}};
    /// Caret centre relative to the primary monitor, 0 = top edge, clamped to 0…1.
    Published<float> normalizedY{objectWillChange_, 0.5f};
    /// Caret centre relative to the primary monitor, 0 = left edge, clamped to 0…1.
    Published<float> normalizedX{objectWillChange_, 0.5f};
    /// Whether the last poll found the caret.
    Published<bool> hasCursorPosition{objectWillChange_, false};
    /// Height of the caret (or selection) rectangle as a fraction of the primary monitor's
    /// height, clamped to 0…1: the size of the text line being written.
    Published<float> normalizedHeight{objectWillChange_, 0.0f};

    /// Starts the source and, once it has said whether accessibility is trusted, the poll
    /// timer. A second call while tracking does nothing.
    void startTracking();
    /// Stops the timer and the source; the published values stay as they are, and so does the
    /// accessibility switch (the source restores it when it goes).
    void stopTracking();
    /// One measurement; see the class comment. Does nothing at all without a primary monitor.
    void poll();

    bool isTracking() const { return isTracking_; }

    /// 50 ms: often enough that the band follows typing without a visible lag.
    static constexpr std::chrono::milliseconds kPollInterval{50};

private:
    /// The source has answered: logs the start-up lines and starts the poll timer.
    void sourceStarted(bool trusted);

    AppState& appState_;
    CaretSource& source_;
    MonitorSource primaryMonitor_;
    std::unique_ptr<RepeatingTimer> pollTimer_;
    bool isTracking_ = false;
    /// Successful polls since creation; throttles the log.
    std::int64_t debugCounter_ = 0;
    /// Lets the source's start-up answer find out whether the tracker still exists.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    /// Counts starts and stops, so that an answer to an earlier start is ignored.
    std::uint64_t generation_ = 0;
    std::vector<Subscription> subscriptions_;
};

}  // namespace glimmora
