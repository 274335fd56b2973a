#pragma once

#include <optional>

#include "core/Rect.h"
#include "platform/atspi/AtspiMessages.h"

namespace glimmora {

/// The rules that turn the answers of one focused accessible text object into one caret
/// rectangle, one request at a time:
///
/// 1. A selection: the rectangle of the selected range. A toolkit that cannot tell (GTK 4
///    refuses range extents) falls back to the caret.
/// 2. Otherwise the caret offset and the extents of the character there.
/// 3. Where the toolkit gives a zero rectangle (Qt at the end of the text), the caret sits right
///    of the previous character: its right edge. When that character is a line break the caret
///    starts the next line instead: below it, at the left edge of the text's first character.
/// 4. An object that gives no character extents at all (GTK 4.8 entries) but holds a single
///    line: its own extents, whose middle is the line's.
/// 5. A rectangle of zero size, or a caret wider than 50 or taller than 70 pixels, is no caret:
///    the query fails rather than report a caret at the origin or a whole text area.
///
/// An object that refuses screen coordinates ("Unsupported coordinate space": GTK 4) is asked
/// again in window coordinates, and the result says so: the caller adds the top-level window's
/// position. Pure logic: the D-Bus layer makes the requests and feeds the replies back.
class CaretQuery {
public:
    struct Result {
        Rect rect;
        /// Window coordinates: relative to the focused top-level window.
        AtspiCoordinates coordinates = AtspiCoordinates::screen;
    };

    /// Starts a query that asks in `coordinates` first (window coordinates for an application
    /// known to refuse screen coordinates).
    explicit CaretQuery(AtspiCoordinates coordinates);

    /// The request to make now; nothing once the query has finished.
    const std::optional<AtspiRequest>& pending() const { return pending_; }
    /// Feeds the reply to pending(); afterwards pending() is the next request, or nothing.
    void answer(const AtspiReply& reply);

    bool isFinished() const { return !pending_; }
    /// The caret, once finished; nothing when the query failed.
    const std::optional<Result>& result() const { return result_; }
    /// Whether the object refused screen coordinates during this query.
    bool refusedScreenCoordinates() const { return refusedScreen_; }

    /// Largest rectangle still taken for a caret, in pixels.
    static constexpr double kMaxCaretWidth = 50;
    static constexpr double kMaxCaretHeight = 70;

private:
    enum class Step {
        selectionCount,
        selection,
        rangeExtents,
        caretOffset,
        caretExtents,
        previousExtents,
        previousText,
        lineStartExtents,
        state,
        objectExtents,
    };

    void ask(Step step, AtspiRequest::Kind kind, int first = 0, int second = 0);
    void finish(std::optional<Rect> rect);
    /// Asks the same again in window coordinates when `reply` refuses screen coordinates.
    bool retriedInWindowCoordinates(const AtspiReply& reply);
    void askForCaret() { ask(Step::caretOffset, AtspiRequest::Kind::caretOffset); }

    AtspiCoordinates coordinates_;
    Step step_ = Step::selectionCount;
    std::optional<AtspiRequest> pending_;
    std::optional<Result> result_;
    bool refusedScreen_ = false;
    int caretOffset_ = 0;
    Rect previous_;
};

}  // namespace glimmora
