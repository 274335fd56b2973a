#pragma once

#include <QImage>

namespace glimmora {

/// A made-up but typical desktop, for showing and checking the overlay's effects: a gradient
/// wallpaper, a document window full of text lines (for the focus band, the ruler and the line
/// guide), a chart window with red and green pairs and colour swatches (for the colour
/// filters) and a terminal. The same picture every time on the same fonts.
///
/// Needs a QGuiApplication (any platform plugin, "offscreen" included) for the fonts.
QImage paintSampleDesktop();

}  // namespace glimmora
