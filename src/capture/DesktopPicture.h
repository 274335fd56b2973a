#pragma once

#include <QImage>
#include <QRegion>
#include <memory>
#include <optional>

#include "capture/DesktopScene.h"

namespace glimmora {

/// One desktop picture on its way to the draw loop: either pixels (the copying path, still
/// images, test patterns) or a scene that the GPU composes from window pixmaps (the zero-copy
/// path). Both empty means "no picture": the source withdrew the last one.
struct DesktopPicture {
    QImage image;
    std::shared_ptr<const DesktopScene> scene;
    /// For pixels: the part of `image` (picture coordinates) that differs from the source's
    /// previous picture, so that the draw uploads only that. None: all of it, or unknown.
    std::optional<QRegion> changed = std::nullopt;

    bool isNull() const { return image.isNull() && !scene; }

    /// `newer` as it must travel when it replaces `older` before `older` was drawn: what
    /// `older` changed changed too. After a withdrawal or a scene, or at another size, the
    /// whole picture counts as changed.
    static DesktopPicture replacing(DesktopPicture newer, const DesktopPicture& older) {
        if (newer.changed && older.changed && older.image.size() == newer.image.size()) {
            *newer.changed += *older.changed;
        } else {
            newer.changed.reset();
        }
        return newer;
    }

    bool operator==(const DesktopPicture&) const = default;
};

}  // namespace glimmora
