#pragma once

#include <optional>
#include <span>

#include <opencv2/core/mat.hpp>

#include "core/Point.h"

namespace glimmora {

/// Finds the centre of the pupil inside an eye opening by the means of gradients (Timm and
/// Barth, 2011): the iris is a dark disc, so the image gradients on its rim point away from its
/// centre, and the centre is the point whose direction to each strong gradient agrees with that
/// gradient best, weighted towards dark points.
///
/// Face-landmark models give the eye's outline but no pupil, so this is where the gaze comes
/// from. Works on one eye at a time on a grey frame; keeps scratch buffers between calls, so one
/// instance serves one thread.
class PupilLocator {
public:
    /// The pupil's centre in frame pixels, or nothing when the outline is degenerate, the eye
    /// region has no usable gradients, or the best centre lies outside the outline (an eye
    /// closed, hidden or half off the frame gives no pupil rather than a wrong one).
    std::optional<Point> locate(const cv::Mat& grey, std::span<const Point> outline);

private:
    cv::Mat eye_, gradientX_, gradientY_, weight_, candidates_;
};

}  // namespace glimmora
