#include "platform/x11/capture/PicturePool.h"

#include <atomic>

namespace glimmora {

PicturePool::PicturePool(QSize size, int count) {
    slots_.resize(static_cast<size_t>(std::max(count, 1)));
    for (Slot& slot : slots_) {
        slot.picture = QImage(size, QImage::Format_RGB32);
        slot.outOfDate = QRect(QPoint(0, 0), size);
    }
}

void PicturePool::invalidate(const QRegion& area) {
    for (Slot& slot : slots_) {
        slot.outOfDate += area;
    }
}

int PicturePool::acquire() const {
    int best = -1;
    for (size_t i = 0; i < slots_.size(); ++i) {
        // The consumer drops its copies on another thread; isDetached() reads the reference
        // count without ordering, so order our coming writes after its last reads.
        if (!slots_[i].picture.isDetached()) {
            continue;
        }
        if (best < 0 || slots_[i].deliveredAt > slots_[static_cast<size_t>(best)].deliveredAt) {
            best = static_cast<int>(i);
        }
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    return best;
}

void PicturePool::markDelivered(int index) {
    Slot& slot = slots_[static_cast<size_t>(index)];
    slot.outOfDate = QRegion();
    slot.deliveredAt = ++deliveries_;
}

}  // namespace glimmora
