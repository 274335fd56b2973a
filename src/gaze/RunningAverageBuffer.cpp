#include "gaze/RunningAverageBuffer.h"

#include <algorithm>

namespace glimmora {

RunningAverageBuffer::RunningAverageBuffer(std::size_t size)
    : size_(std::max<std::size_t>(size, 1)) {
    // One slot more than size: the new point is appended before the oldest one goes.
    buffer_.reserve(size_ + 1);
}

Point RunningAverageBuffer::add(Point point) {
    buffer_.push_back(point);
    if (buffer_.size() > size_) {
        buffer_.erase(buffer_.begin());
    }

    double sumX = 0;
    double sumY = 0;
    double totalWeight = 0;
    double weight = 0;
    for (const Point& p : buffer_) {
        weight += 1.0;
        sumX += p.x * weight;
        sumY += p.y * weight;
        totalWeight += weight;
    }
    return {sumX / totalWeight, sumY / totalWeight};
}

void RunningAverageBuffer::reset() {
    buffer_.clear();
}

}  // namespace glimmora
