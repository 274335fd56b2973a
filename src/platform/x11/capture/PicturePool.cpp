#include "platform/x11/capture/PicturePool.h"

#include <atomic>

namespace glimmora {

PicturePool::PicturePool(std::vector<QImage> pictures) {
    for (QImage& picture : pictures) {
        const QRect whole = picture.rect();
        slots_.push_back({std::move(picture), whole});
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
