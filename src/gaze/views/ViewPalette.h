#pragma once

#include <QColor>
#include <QFont>

// The colours and fonts the gaze screens share. The named colours are the desktop's usual system
// tones rather than pure RGB primaries: pure green or cyan glare on the dark backing the screens
// put behind everything.

namespace glimmora::viewpalette {

inline QColor green() {
    return QColor(52, 199, 89);
}
inline QColor orange() {
    return QColor(255, 149, 0);
}
inline QColor cyan() {
    return QColor(50, 173, 230);
}
inline QColor gray() {
    return QColor(142, 142, 147);
}

/// `color` at `opacity` (0 to 1).
inline QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

/// The system font at `size` points (logical pixels: the painter's device pixel ratio turns them
/// into device pixels) and `weight`.
inline QFont systemFont(int size, QFont::Weight weight = QFont::Normal) {
    QFont font;
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}

}  // namespace glimmora::viewpalette
