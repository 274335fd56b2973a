#pragma once

#include <memory>

#include "render/AreaPresenter.h"

struct _XDisplay;

namespace glimmora {

/// Shows parts of a GLX window's back buffer with GLX_MESA_copy_sub_buffer, which copies them
/// to the window and leaves the back buffer as it was. Mesa offers it with every driver,
/// including its software rasterisers, where a region costs what its pixels cost. It shows on
/// whatever drawable is current, so a window whose native window was made anew is still served.
class GlxAreaPresenter final : public AreaPresenter {
public:
    /// A presenter for windows of the current GLX context; null when there is none (no context,
    /// or not GLX) or the extension is missing.
    static std::unique_ptr<AreaPresenter> forCurrentContext();

    bool present(const QRegion& area, int height) override;

private:
    // Xlib's Display and GLXDrawable, kept out of this header: Xlib's macros break Qt's.
    using CopySubBuffer = void (*)(_XDisplay*, unsigned long, int, int, int, int);
    explicit GlxAreaPresenter(CopySubBuffer copy) : copy_(copy) {}

    CopySubBuffer copy_;
};

}  // namespace glimmora
