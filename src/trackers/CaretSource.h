#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/Rect.h"

namespace glimmora {

/// One measurement of the text caret: the rectangle of the focused text's selection, or of
/// the caret itself when nothing is selected, in pixels of the X screen (root coordinates),
/// and the name of the application that owns it.
struct CaretReading {
    Rect rect;
    std::string applicationName;

    bool operator==(const CaretReading&) const = default;
};

/// Where TextCursorTracker gets the caret from: the platform's accessibility layer measures
/// on a thread of its own and keeps the newest result, so that reading it never waits on
/// another application. The accessibility layer also switches the desktop's accessibility on
/// while caret following needs it, because applications only expose their text when it is on.
///
/// Every method is called on the main thread and returns at once.
class CaretSource {
public:
    virtual ~CaretSource() = default;

    /// Starts measuring. `onStarted` runs once on the main thread, as soon as the source
    /// knows whether it can answer at all (`trusted`: the accessibility bus is reachable and
    /// accessibility is enabled). Polls fail until then.
    virtual void start(std::function<void(bool trusted)> onStarted) = 0;
    /// Stops measuring; latest() reports nothing from then on.
    virtual void stop() = 0;
    /// The newest measurement, or nothing when the last one failed (no focused text, an
    /// application that does not answer, no accessibility). Never blocks.
    virtual std::optional<CaretReading> latest() = 0;
    /// Whether caret following is switched on: while it is, the source turns the desktop's
    /// accessibility on; when it is off again, and when the source goes, it leaves the
    /// setting as it found it.
    virtual void setAccessibilityWanted(bool wanted) = 0;
};

}  // namespace glimmora
