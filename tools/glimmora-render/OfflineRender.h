#pragma once

#include <QImage>
#include <QString>

#include "RenderOptions.h"

namespace glimmora {

/// How a render ended: the exit status and, unless it succeeded, one line saying why.
struct RenderResult {
    RenderExit status = RenderExit::Success;
    QString error;
    bool operator==(const RenderResult&) const = default;
};

/// Reads the desktop picture and the settings named by `options`, draws exactly one frame with
/// the application's own renderer into an offscreen target (EGL, no display server) and writes
/// what the screen would show to `options.outputPath` as a PNG. The settings file is only ever
/// read. On any failure nothing is written, not even a partial file.
///
/// The frame is a settled one: the mouse and caret are taken as not having moved, so a known
/// caret holds the focus band and the ruler, as it does when the renderer starts. With the
/// overlay switched off (`isOverlayEnabled` false) the renderer draws nothing and the screen
/// shows the desktop as it is: the picture is written unchanged.
RenderResult renderToFile(const RenderOptions& options);

/// What the screen shows: `frame`, read back from the framebuffer, over `desktop`. The frame's
/// colours are already multiplied by its alpha (the renderer blends onto transparent black),
/// as the compositor expects of a transparent overlay window. Both images have the same size;
/// the result is opaque Format_RGB32.
QImage compositeOverDesktop(const QImage& frame, const QImage& desktop);

}  // namespace glimmora
