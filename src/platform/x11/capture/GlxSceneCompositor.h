#pragma once

#include <xcb/xcb.h>
#include <QRect>
#include <QSize>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "capture/ScenePictureCompositor.h"
#include "platform/x11/capture/SceneGeometry.h"

typedef struct _XDisplay Display;

namespace glimmora {

class GlxPixmapConfigs;
class ShmImageReader;

/// The zero-copy path's GPU half: composes the capture's scenes in the overlay's GLX context by
/// binding each window's pixmap as a texture (GLX_EXT_texture_from_pixmap) and drawing textured
/// quads, wallpaper first, into the draw loop's display texture through a framebuffer object.
///
/// Each pixmap is bound once and bound again (released and bound) whenever its content version
/// changes, since a binding need not follow later drawing. Whether a bound pixmap lies top row
/// first in its texture (GLX_Y_INVERTED_EXT) is read from its configuration, or from the pixmap
/// itself where the configuration leaves it open ("don't care"); because X.Org answers the
/// pixmap's query with a fixed value, initialize() also binds a small probe pixmap per depth and
/// looks (see isTopRowFirst).
///
/// A pixmap that cannot be bound (no configuration for its depth, or the driver refuses it) is
/// copied instead, whole, through MIT-SHM on the same X connection and uploaded: the fallback
/// is per window, the others stay zero-copy. One that can be neither bound nor read (a window
/// gone mid-frame, a wallpaper its owner freed) is left out of the picture quietly; its X errors
/// are caught, never printed.
///
/// Main thread only, with the GL context current for initialize(), composeInto() and
/// destruction.
class GlxSceneCompositor final : public ScenePictureCompositor {
public:
    /// On the application's X connection (a QGuiApplication on the xcb platform), where Qt
    /// makes the overlay's GLX context. Null without one.
    static std::unique_ptr<GlxSceneCompositor> forApplication();

    /// `display` is the Xlib display of the GLX context that will compose and `connection` its
    /// xcb connection, which reads the pixmaps that cannot be bound.
    GlxSceneCompositor(Display* display, xcb_connection_t* connection);
    ~GlxSceneCompositor() override;
    GlxSceneCompositor(const GlxSceneCompositor&) = delete;
    GlxSceneCompositor& operator=(const GlxSceneCompositor&) = delete;

    /// Whether the driver offers GLX_EXT_texture_from_pixmap with a configuration for 24-bit
    /// pixmaps. Needs no context.
    bool canBindPixmaps() const;

    /// False unless the current context is a GLX context on this display and pixmaps can be
    /// bound.
    bool initialize() override;
    bool composeInto(unsigned texture, QSize size,
                     const std::shared_ptr<const DesktopScene>& scene) override;

    /// For tests: binding fails for the windows (SceneLayer::window; 0 for the wallpaper) this
    /// answers true for, as in a driver that refuses their pixmaps, so they take the fallback.
    void setBindingRefusal(std::function<bool(quint32 window)> refuse) {
        refuseBinding_ = std::move(refuse);
    }

    /// How a pixmap reached the last composition.
    enum class Source { Absent, Bound, Copied };
    /// For diagnostics and tests: how `pixmap` was shown by the last composition (Absent: left
    /// out, or not in it).
    Source sourceOf(quint32 pixmap) const;
    /// For diagnostics and tests: binds made again after a content change, since creation.
    int rebindCount() const { return rebinds_; }
    /// For diagnostics and tests: what the probe pixmap of `depth` showed at initialize()
    /// (nothing when the configuration says TRUE or FALSE itself, or the probe failed).
    std::optional<PixmapLayoutProbe> layoutProbe(int depth) const;

private:
    /// A pixmap's texture, kept while scenes name the pixmap.
    struct PixmapTexture {
        int depth = 0;
        QSize size;
        unsigned texture = 0;
        unsigned long glxPixmap = 0;
        Source source = Source::Absent;
        bool topRowFirst = true;
        quint64 version = 0;
        quint64 lastUsed = 0;  // composition number
    };
    /// One pixmap to draw in this composition.
    struct Item {
        quint32 pixmap = 0;
        quint32 window = 0;
        int depth = 0;
        QSize pixmapSize;
        quint64 version = 0;
        QRect target;  // picture pixels
        QRect source;  // pixmap pixels
        PixmapTexture* texture = nullptr;
    };

    void collectItems(QSize size, const DesktopScene& scene);
    void refreshTextures();
    void bind(const std::vector<Item*>& items, std::vector<Item*>& failed);
    void copy(Item& item);
    /// Whether `pixmap` still exists (one round trip).
    bool exists(quint32 pixmap) const;
    bool draw(unsigned texture, QSize size, quint32 plainColour);
    void dropUnused();
    void unbind(PixmapTexture& texture);
    void release(PixmapTexture& texture);
    bool buildProgram();
    std::optional<PixmapLayoutProbe> probeLayout(int depth);
    bool topRowFirst(int depth, unsigned long glxPixmap) const;

    Display* display_;
    xcb_connection_t* connection_;
    std::unique_ptr<GlxPixmapConfigs> configs_;
    std::unique_ptr<ShmImageReader> reader_;  // made at the first copy
    bool readerFailed_ = false;
    bool ready_ = false;
    std::function<bool(quint32)> refuseBinding_;
    std::map<int, std::optional<PixmapLayoutProbe>> probes_;  // by depth

    unsigned program_ = 0;
    int pictureSizeLocation_ = -1;
    unsigned vertexArray_ = 0;
    unsigned vertexBuffer_ = 0;
    unsigned framebuffer_ = 0;

    std::unordered_map<quint32, PixmapTexture> textures_;  // by pixmap
    std::vector<Item> items_;
    std::vector<float> vertices_;
    std::vector<quint32> pixels_;  // a copied pixmap on its way to the GPU
    quint64 composition_ = 0;
    int rebinds_ = 0;
    /// The last scene composed: it keeps the pixmaps behind the textures alive.
    std::shared_ptr<const DesktopScene> held_;
};

}  // namespace glimmora
