#include "capture/PictureHandOver.h"

namespace glimmora {

void PictureHandOver::submit(DesktopPicture picture) {
    std::optional<DesktopPicture> replaced;  // released outside the lock
    {
        const std::lock_guard lock(mutex_);
        if (pending_) {
            ++dropped_;
        }
        replaced = std::exchange(pending_, std::move(picture));
    }
}

std::optional<DesktopPicture> PictureHandOver::takePending() {
    const std::lock_guard lock(mutex_);
    return std::exchange(pending_, std::nullopt);
}

int PictureHandOver::droppedCount() const {
    const std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace glimmora
