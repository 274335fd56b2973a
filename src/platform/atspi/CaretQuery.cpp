#include "platform/atspi/CaretQuery.h"

#include <algorithm>

namespace glimmora {

namespace {

using Kind = AtspiRequest::Kind;

/// The four numbers of an extents reply as a rectangle; nothing when the reply is short.
std::optional<Rect> rectOf(const AtspiReply& reply) {
    if (!reply.ok || reply.numbers.size() < 4) {
        return std::nullopt;
    }
    return Rect{static_cast<double>(reply.numbers[0]), static_cast<double>(reply.numbers[1]),
                static_cast<double>(reply.numbers[2]), static_cast<double>(reply.numbers[3])};
}

bool isZero(const Rect& rect) {
    return rect.width == 0 && rect.height == 0;
}

bool fitsACaret(const Rect& rect) {
    return !isZero(rect) && rect.width >= 0 && rect.height >= 0 &&
           rect.width <= CaretQuery::kMaxCaretWidth && rect.height <= CaretQuery::kMaxCaretHeight;
}

bool firstNumber(const AtspiReply& reply, std::int64_t& value) {
    if (!reply.ok || reply.numbers.empty()) {
        return false;
    }
    value = reply.numbers.front();
    return true;
}

}  // namespace

CaretQuery::CaretQuery(AtspiCoordinates coordinates) : coordinates_(coordinates) {
    ask(Step::selectionCount, Kind::selectionCount);
}

void CaretQuery::ask(Step step, AtspiRequest::Kind kind, int first, int second) {
    step_ = step;
    pending_ = AtspiRequest{kind, first, second, coordinates_};
}

void CaretQuery::finish(std::optional<Rect> rect) {
    pending_.reset();
    if (rect) {
        result_ = Result{*rect, coordinates_};
    }
}

bool CaretQuery::retriedInWindowCoordinates(const AtspiReply& reply) {
    // GTK 4 answers character extents in window coordinates only and says so in the message.
    if (reply.ok || coordinates_ != AtspiCoordinates::screen ||
        reply.errorMessage.find("coordinate") == std::string::npos) {
        return false;
    }
    refusedScreen_ = true;
    coordinates_ = AtspiCoordinates::window;
    pending_->coordinates = coordinates_;
    return true;
}

void CaretQuery::answer(const AtspiReply& reply) {
    if (!pending_) {
        return;
    }
    if (retriedInWindowCoordinates(reply)) {
        return;
    }
    std::int64_t number = 0;
    switch (step_) {
        case Step::selectionCount:
            if (firstNumber(reply, number) && number > 0) {
                ask(Step::selection, Kind::selection, 0);
            } else {
                askForCaret();
            }
            return;
        case Step::selection:
            if (reply.ok && reply.numbers.size() >= 2 && reply.numbers[0] != reply.numbers[1]) {
                const auto [start, end] = std::minmax(reply.numbers[0], reply.numbers[1]);
                ask(Step::rangeExtents, Kind::rangeExtents, static_cast<int>(start),
                    static_cast<int>(end));
            } else {
                askForCaret();
            }
            return;
        case Step::rangeExtents: {
            const std::optional<Rect> range = rectOf(reply);
            if (range && !isZero(*range)) {
                finish(range);
            } else {
                askForCaret();  // no range extents from this toolkit: the caret will do
            }
            return;
        }
        case Step::caretOffset:
            if (!firstNumber(reply, number) || number < 0) {
                finish(std::nullopt);
                return;
            }
            caretOffset_ = static_cast<int>(number);
            ask(Step::caretExtents, Kind::characterExtents, caretOffset_);
            return;
        case Step::caretExtents: {
            if (!reply.ok && reply.errorName.ends_with(".NotSupported")) {
                ask(Step::state, Kind::state);  // no character geometry: maybe a one-line field
                return;
            }
            const std::optional<Rect> caret = rectOf(reply);
            if (caret && isZero(*caret) && caretOffset_ > 0) {
                ask(Step::previousExtents, Kind::characterExtents, caretOffset_ - 1);
            } else {
                finish(caret && fitsACaret(*caret) ? caret : std::nullopt);
            }
            return;
        }
        case Step::previousExtents: {
            const std::optional<Rect> previous = rectOf(reply);
            if (!previous || !fitsACaret(*previous)) {
                finish(std::nullopt);
            } else if (previous->width > 0) {
                finish(Rect{previous->x + previous->width, previous->y, 0, previous->height});
            } else {
                // Zero width: a line break (or another invisible character) ends the text.
                previous_ = *previous;
                ask(Step::previousText, Kind::text, caretOffset_ - 1, caretOffset_);
            }
            return;
        }
        case Step::previousText:
            if (reply.ok && reply.text == "\n") {
                ask(Step::lineStartExtents, Kind::characterExtents, 0);
            } else {
                finish(reply.ok ? std::optional(previous_) : std::nullopt);
            }
            return;
        case Step::lineStartExtents: {
            const std::optional<Rect> first = rectOf(reply);
            if (first && !isZero(*first)) {
                finish(Rect{first->x, previous_.y + previous_.height, 0, previous_.height});
            } else {
                finish(std::nullopt);
            }
            return;
        }
        case Step::state:
            if (reply.ok && !reply.numbers.empty() &&
                (static_cast<std::uint32_t>(reply.numbers[0]) & atspi_state::kMultiLine) == 0) {
                ask(Step::objectExtents, Kind::objectExtents);
            } else {
                finish(std::nullopt);
            }
            return;
        case Step::objectExtents: {
            const std::optional<Rect> field = rectOf(reply);
            finish(field && !isZero(*field) && field->height <= kMaxCaretHeight ? field
                                                                                : std::nullopt);
            return;
        }
    }
}

}  // namespace glimmora
