#pragma once

#include <deque>
#include <optional>

#include "platform/atspi/AtspiMessages.h"

namespace glimmora {

/// Finds the focused object of one application by walking its accessible tree, breadth first,
/// one request at a time. Applications announce focus changes only to listeners that were
/// there when the focus moved, so a text field focused before Glimmora started is found this
/// way.
///
/// It descends only into showing objects (and the application itself), not into objects that
/// manage their descendants (tables and lists with thousands of rows), and gives up after
/// kMaxObjects. A focused object that offers text wins; a focused one without text (a stale
/// one, a button) is kept as the answer only if nothing better turns up. Pure logic.
class FocusWalk {
public:
    explicit FocusWalk(AtspiObject application);

    /// The object to ask and what to ask it; nothing once the walk has finished.
    const std::optional<AtspiObject>& pendingObject() const { return pendingObject_; }
    const AtspiRequest& pendingRequest() const { return pendingRequest_; }
    /// Feeds the reply to the pending request.
    void answer(const AtspiReply& reply);

    bool isFinished() const { return !pendingObject_; }
    /// The focused object, once finished; nothing when none was found.
    const std::optional<AtspiObject>& found() const { return found_; }

    static constexpr int kMaxObjects = 400;

private:
    void askNext();

    AtspiObject application_;
    std::deque<AtspiObject> queue_;
    std::optional<AtspiObject> pendingObject_;
    AtspiRequest pendingRequest_;
    std::optional<AtspiObject> found_;
    int visited_ = 0;
};

}  // namespace glimmora
