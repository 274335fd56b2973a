#include "trackers/ActiveWindowRule.h"

#include <limits>

namespace glimmora {

std::optional<std::int32_t> frontmostApplicationPid(const std::vector<WindowRecord>& frontToBack,
                                                    std::int32_t ownPid) {
    // The focused window says best which application the user works in: focus need not follow
    // stacking (a window kept above, or focus without raise).
    for (const WindowRecord& window : frontToBack) {
        if (window.isActive && window.isOnScreen && window.ownerPid > 0 &&
            window.ownerPid != ownPid) {
            return window.ownerPid;
        }
    }
    for (const WindowRecord& window : frontToBack) {
        if (window.isOnScreen && window.layer == 0 && window.ownerPid > 0 &&
            window.ownerPid != ownPid) {
            return window.ownerPid;
        }
    }
    return std::nullopt;
}

std::optional<WindowRecord> principalWindowOf(const std::vector<WindowRecord>& frontToBack,
                                              std::int32_t pid) {
    std::optional<WindowRecord> best;
    int bestLayer = std::numeric_limits<int>::max();
    // The walk goes to the end: a lower layer further back beats an earlier candidate, while an
    // equal layer never replaces the earlier (frontmost) one.
    for (const WindowRecord& window : frontToBack) {
        if (!window.isOnScreen || window.ownerPid != pid || window.layer < 0) {
            continue;
        }
        // Written as negated comparisons so that NaN geometry or opacity never qualifies.
        if (!(window.alpha > 0)) {
            continue;
        }
        if (!(window.bounds.width >= kMinimumPrincipalWindowSide) ||
            !(window.bounds.height >= kMinimumPrincipalWindowSide)) {
            continue;
        }
        if (window.layer >= bestLayer) {
            continue;
        }
        bestLayer = window.layer;
        best = window;
    }
    return best;
}

std::optional<WindowRecord> chooseActiveWindow(const std::vector<WindowRecord>& frontToBack,
                                               std::int32_t ownPid) {
    const std::optional<std::int32_t> pid = frontmostApplicationPid(frontToBack, ownPid);
    if (!pid) {
        return std::nullopt;
    }
    return principalWindowOf(frontToBack, *pid);
}

Rect normalizeToMonitor(const Rect& bounds, const Rect& monitor) {
    // Move into the monitor's own space first: the X screen's origin is the root window's
    // corner, which is the primary monitor's corner only when that monitor sits at (0, 0).
    const double x = bounds.x - monitor.x;
    const double y = bounds.y - monitor.y;
    const double sw = monitor.width;
    const double sh = monitor.height;
    // This order of operations is deliberate: y is derived through the window's bottom edge, so
    // it may differ from y / sh in the last bits; reordering would shift published values.
    const double nx = x / sw;
    const double t = 1 - ((sh - y - bounds.height) / sh);
    const double nw = bounds.width / sw;
    const double nh = bounds.height / sh;
    const double ny = t - nh;
    return {nx, ny, nw, nh};
}

}  // namespace glimmora
