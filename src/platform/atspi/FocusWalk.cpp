#include "platform/atspi/FocusWalk.h"

#include <algorithm>

namespace glimmora {

namespace {
using Kind = AtspiRequest::Kind;
constexpr const char* kTextInterface = "org.a11y.atspi.Text";
}  // namespace

FocusWalk::FocusWalk(AtspiObject application) : application_(std::move(application)) {
    queue_.push_back(application_);
    askNext();
}

void FocusWalk::askNext() {
    pendingObject_.reset();
    if (queue_.empty() || visited_ >= kMaxObjects) {
        return;
    }
    ++visited_;
    pendingObject_ = queue_.front();
    queue_.pop_front();
    pendingRequest_ = AtspiRequest{Kind::state};
}

void FocusWalk::answer(const AtspiReply& reply) {
    if (!pendingObject_) {
        return;
    }
    switch (pendingRequest_.kind) {
        case Kind::state: {
            const std::uint32_t state = reply.ok && !reply.numbers.empty()
                                            ? static_cast<std::uint32_t>(reply.numbers[0])
                                            : 0;
            if ((state & atspi_state::kFocused) != 0) {
                pendingRequest_ = AtspiRequest{Kind::interfaces};
                return;
            }
            // The application itself need not say it is showing, or answer at all.
            const bool isApplication = *pendingObject_ == application_;
            if ((isApplication || (state & atspi_state::kShowing) != 0) &&
                (state & atspi_state::kManagesDescendants) == 0) {
                pendingRequest_ = AtspiRequest{Kind::children};
                return;
            }
            break;
        }
        case Kind::interfaces: {
            const bool hasText = reply.ok && std::find(reply.names.begin(), reply.names.end(),
                                                       kTextInterface) != reply.names.end();
            if (hasText) {
                found_ = *pendingObject_;
                pendingObject_.reset();
                return;
            }
            if (!found_) {
                found_ = *pendingObject_;  // focused but without text: the answer of last resort
            }
            break;
        }
        case Kind::children:
            if (reply.ok) {
                queue_.insert(queue_.end(), reply.objects.begin(), reply.objects.end());
            }
            break;
        default:
            break;
    }
    askNext();
}

}  // namespace glimmora
