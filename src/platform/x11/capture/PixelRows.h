#pragma once

#include <QtGlobal>

namespace glimmora {

/// Copies `count` pixels and sets their alpha byte to 0xff. X leaves the top byte of a depth-24
/// pixel undefined, and a depth-32 (ARGB) window is shown as if opaque: pictures are
/// QImage::Format_RGB32, which requires 0xffRRGGBB.
void copyOpaque(quint32* destination, const quint32* source, int count);

}  // namespace glimmora
