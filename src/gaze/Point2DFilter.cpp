#include "gaze/Point2DFilter.h"

namespace glimmora {

Point2DFilter::Point2DFilter(double minCutoff, double beta, double dCutoff)
    : xFilter_(minCutoff, beta, dCutoff), yFilter_(minCutoff, beta, dCutoff) {}

Point Point2DFilter::filter(Point point, double timestamp) {
    const double x = xFilter_.filter(point.x, timestamp);
    const double y = yFilter_.filter(point.y, timestamp);
    return {x, y};
}

void Point2DFilter::reset() {
    xFilter_.reset();
    yFilter_.reset();
}

}  // namespace glimmora
