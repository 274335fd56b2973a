#include <gtest/gtest.h>

#include "OfflineRender.h"

namespace glimmora {
namespace {

QImage filled(QRgb pixel, QImage::Format format, QSize size = {3, 2}) {
    QImage image(size, format);
    image.fill(pixel);
    return image;
}

TEST(CompositeOverDesktopTest, OpaqueFrameHidesTheDesktop) {
    const QImage frame = filled(qRgba(10, 120, 250, 255), QImage::Format_ARGB32);
    const QImage desktop = filled(qRgb(200, 200, 200), QImage::Format_RGB32);
    const QImage screen = compositeOverDesktop(frame, desktop);
    EXPECT_EQ(screen.format(), QImage::Format_RGB32);
    EXPECT_EQ(screen.size(), desktop.size());
    EXPECT_EQ(screen.pixel(2, 1), qRgb(10, 120, 250));
}

TEST(CompositeOverDesktopTest, TransparentFrameShowsTheDesktop) {
    const QImage frame = filled(qRgba(0, 0, 0, 0), QImage::Format_ARGB32);
    const QImage desktop = filled(qRgb(17, 99, 230), QImage::Format_RGB32);
    EXPECT_EQ(compositeOverDesktop(frame, desktop), desktop);
}

TEST(CompositeOverDesktopTest, HalfTransparentFrameAddsToWhatShowsThrough) {
    // Premultiplied: 64 of red at alpha 128 over grey 200, of which 127/255 shows through.
    const QImage frame = filled(qRgba(64, 0, 0, 128), QImage::Format_ARGB32);
    const QImage desktop = filled(qRgb(200, 200, 200), QImage::Format_RGB32);
    const QRgb pixel = compositeOverDesktop(frame, desktop).pixel(0, 0);
    const int through = qRound(200.0 * 127 / 255);
    EXPECT_EQ(qRed(pixel), 64 + through);
    EXPECT_EQ(qGreen(pixel), through);
    EXPECT_EQ(qBlue(pixel), through);
}

TEST(CompositeOverDesktopTest, EachPixelKeepsItsPlace) {
    QImage frame = filled(qRgba(0, 0, 0, 0), QImage::Format_ARGB32, {4, 3});
    frame.setPixel(3, 0, qRgba(255, 0, 0, 255));
    frame.setPixel(0, 2, qRgba(0, 255, 0, 255));
    const QImage desktop = filled(qRgb(1, 2, 3), QImage::Format_RGB32, {4, 3});
    const QImage screen = compositeOverDesktop(frame, desktop);
    EXPECT_EQ(screen.pixel(3, 0), qRgb(255, 0, 0));
    EXPECT_EQ(screen.pixel(0, 2), qRgb(0, 255, 0));
    EXPECT_EQ(screen.pixel(0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(screen.pixel(3, 2), qRgb(1, 2, 3));
}

}  // namespace
}  // namespace glimmora
