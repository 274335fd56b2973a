#include "platform/x11/capture/SceneGeometry.h"

namespace glimmora {

std::array<SceneVertex, 6> texturedQuad(const QRect& target, const QRect& source, QSize pixmapSize,
                                        bool topRowFirst) {
    const auto width = static_cast<float>(pixmapSize.width());
    const auto height = static_cast<float>(pixmapSize.height());
    const float s0 = static_cast<float>(source.x()) / width;
    const float s1 = static_cast<float>(source.x() + source.width()) / width;
    // Edges of pixmap rows, as fractions of the pixmap from its top.
    const float top = static_cast<float>(source.y()) / height;
    const float bottom = static_cast<float>(source.y() + source.height()) / height;
    const float t0 = topRowFirst ? top : 1.0f - top;
    const float t1 = topRowFirst ? bottom : 1.0f - bottom;

    const auto x0 = static_cast<float>(target.x());
    const auto x1 = static_cast<float>(target.x() + target.width());
    const auto y0 = static_cast<float>(target.y());
    const auto y1 = static_cast<float>(target.y() + target.height());
    const SceneVertex topLeft{x0, y0, s0, t0};
    const SceneVertex topRight{x1, y0, s1, t0};
    const SceneVertex bottomLeft{x0, y1, s0, t1};
    const SceneVertex bottomRight{x1, y1, s1, t1};
    return {topLeft, bottomLeft, topRight, topRight, bottomLeft, bottomRight};
}

bool isTopRowFirst(std::optional<bool> configSays, bool drawableSays,
                   const std::optional<PixmapLayoutProbe>& probe) {
    if (configSays) {
        return *configSays;
    }
    if (probe && probe->drawableSaysTopRowFirst != probe->topRowFirst) {
        return probe->topRowFirst;
    }
    return drawableSays;
}

}  // namespace glimmora
