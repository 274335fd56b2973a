#include "platform/x11/windows/GlxAreaPresenter.h"

#include <QByteArray>
#include <QList>

// After Qt: Xlib's macros (None, Bool, Status) clash with names in Qt's headers.
#include <GL/glx.h>

namespace glimmora {
namespace {

// Each copy is one flush and one image put: past a few rectangles their bounding box is cheaper.
constexpr int kMostCopies = 4;

}  // namespace

std::unique_ptr<AreaPresenter> GlxAreaPresenter::forCurrentContext() {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (display == nullptr || drawable == None) {
        return nullptr;
    }
    // A function pointer is returned for any name, so the extension list decides.
    const QList<QByteArray> extensions =
        QByteArray(glXQueryExtensionsString(display, DefaultScreen(display))).split(' ');
    if (!extensions.contains("GLX_MESA_copy_sub_buffer")) {
        return nullptr;
    }
    auto copy = reinterpret_cast<CopySubBuffer>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
    if (copy == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<AreaPresenter>(new GlxAreaPresenter(copy));
}

bool GlxAreaPresenter::present(const QRegion& area, int height) {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (display == nullptr || drawable == None) {
        return false;
    }
    const QRegion shown = area.rectCount() > kMostCopies ? QRegion(area.boundingRect()) : area;
    // GLX counts rows from the bottom. Each copy flushes the context first.
    for (const QRect& rect : shown) {
        copy_(display, drawable, rect.x(), height - rect.y() - rect.height(), rect.width(),
              rect.height());
    }
    return true;
}

}  // namespace glimmora
