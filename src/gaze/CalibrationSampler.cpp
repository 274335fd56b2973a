#include "gaze/CalibrationSampler.h"

#include <algorithm>

namespace glimmora {
namespace {

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1) {
        return *middle;
    }
    return (*middle + *std::max_element(values.begin(), middle)) / 2;
}

}  // namespace

void CalibrationSampler::startTarget(double timestamp) {
    samples_.clear();
    targetShownAt_ = timestamp;
}

void CalibrationSampler::add(RawGaze raw, double timestamp) {
    samples_.push_back({raw, timestamp});
}

std::optional<RawGaze> CalibrationSampler::record(double now) const {
    std::vector<double> xs, ys;
    for (const Sample& sample : samples_) {
        if (sample.timestamp >= targetShownAt_ + kSettle && sample.timestamp > now - kWindow &&
            sample.timestamp <= now) {
            xs.push_back(sample.raw.x);
            ys.push_back(sample.raw.y);
        }
    }
    if (xs.size() < 3) {
        return std::nullopt;
    }
    return RawGaze{median(xs), median(ys)};
}

}  // namespace glimmora
