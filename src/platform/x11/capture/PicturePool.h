#pragma once

#include <QImage>
#include <QRegion>
#include <vector>

namespace glimmora {

/// A fixed set of pictures that a stream delivers in turn, so that no screen-sized buffer is
/// allocated per frame. A picture is free again once the consumer has dropped every copy of the
/// QImage it was given. Each picture remembers which areas changed since it was last painted,
/// so bringing it up to date repaints only those.
class PicturePool {
public:
    /// Delivers `pictures` (at least one, all of one size), all entirely out of date.
    explicit PicturePool(std::vector<QImage> pictures);

    /// Marks `area` (picture coordinates) out of date in every picture.
    void invalidate(const QRegion& area);

    /// A picture no consumer holds, preferring the most recently delivered one (it needs the
    /// least repainting); -1 when the consumer holds them all.
    int acquire() const;
    /// Picture `index`, to paint before delivery. Painting a held picture would detach it.
    QImage& picture(int index) { return slots_[static_cast<size_t>(index)].picture; }
    /// What picture `index` must repaint to show the present desktop.
    const QRegion& outOfDate(int index) const {
        return slots_[static_cast<size_t>(index)].outOfDate;
    }
    /// Picture `index` has been painted up to date and is being delivered.
    void markDelivered(int index);

private:
    struct Slot {
        QImage picture;
        QRegion outOfDate;
        quint64 deliveredAt = 0;  // 0: never
    };
    std::vector<Slot> slots_;
    quint64 deliveries_ = 0;
};

}  // namespace glimmora
