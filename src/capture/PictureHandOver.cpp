#include "capture/PictureHandOver.h"

namespace glimmora {

void PictureHandOver::setWakeUp(std::function<void()> wakeUp) {
    const std::lock_guard lock(mutex_);
    wakeUp_ = std::move(wakeUp);
}

void PictureHandOver::submit(DesktopPicture picture) {
    std::optional<DesktopPicture> replaced;  // released outside the lock
    std::function<void()> wakeUp;
    {
        const std::lock_guard lock(mutex_);
        if (pending_) {
            ++dropped_;
            picture = DesktopPicture::replacing(std::move(picture), *pending_);
        }
        replaced = std::exchange(pending_, std::move(picture));
        wakeUp = wakeUp_;
    }
    if (wakeUp) {
        wakeUp();
    }
}

bool PictureHandOver::hasPending() const {
    const std::lock_guard lock(mutex_);
    return pending_.has_value();
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
