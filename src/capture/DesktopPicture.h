#pragma once

#include <QImage>
#include <memory>

#include "capture/DesktopScene.h"

namespace glimmora {

/// One desktop picture on its way to the draw loop: either pixels (the copying path, still
/// images, test patterns) or a scene that the GPU composes from window pixmaps (the zero-copy
/// path). Both empty means "no picture": the source withdrew the last one.
struct DesktopPicture {
    QImage image;
    std::shared_ptr<const DesktopScene> scene;

    bool isNull() const { return image.isNull() && !scene; }
    bool operator==(const DesktopPicture&) const = default;
};

}  // namespace glimmora
