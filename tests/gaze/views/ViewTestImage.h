#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <cstdlib>

namespace glimmora::test {

/// Text needs a GUI application (fonts); the offscreen platform needs no display.
inline void ensureGuiApplication() {
    if (QGuiApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "glimmora-test";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QGuiApplication(argc, argv);
    }
}

/// An image of `size` filled with `background`, painted by `paint(painter)`.
template <typename Paint>
QImage paintedImage(QSize size, QColor background, Paint paint) {
    ensureGuiApplication();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter painter(&image);
    paint(painter);
    painter.end();
    return image;
}

/// Whether the pixel at `at` is `expected` within `tolerance` levels in every channel, alpha
/// included (premultiplied).
inline ::testing::AssertionResult pixelNear(const QImage& image, QPoint at, QRgb expected,
                                            int tolerance = 3) {
    const QRgb actual = image.pixel(at);
    for (int shift : {0, 8, 16, 24}) {  // blue, green, red, alpha
        if (std::abs(int((actual >> shift) & 0xff) - int((expected >> shift) & 0xff)) > tolerance) {
            return ::testing::AssertionFailure() << "pixel (" << at.x() << ", " << at.y() << ") is "
                                                 << std::hex << actual << ", not " << expected;
        }
    }
    return ::testing::AssertionSuccess();
}

/// How many pixels inside `area` satisfy `where(rgb)`.
template <typename Where>
int countPixels(const QImage& image, QRect area, Where where) {
    int count = 0;
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += where(image.pixel(x, y)) ? 1 : 0;
        }
    }
    return count;
}

}  // namespace glimmora::test
