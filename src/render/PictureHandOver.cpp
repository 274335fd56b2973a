#include "render/PictureHandOver.h"

namespace glimmora {

void PictureHandOver::submit(QImage picture) {
    std::optional<QImage> replaced;  // released outside the lock
    {
        const std::lock_guard lock(mutex_);
        if (pending_) {
            ++dropped_;
        }
        replaced = std::exchange(pending_, std::move(picture));
    }
}

std::optional<QImage> PictureHandOver::takePending() {
    const std::lock_guard lock(mutex_);
    return std::exchange(pending_, std::nullopt);
}

int PictureHandOver::droppedCount() const {
    const std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace glimmora
