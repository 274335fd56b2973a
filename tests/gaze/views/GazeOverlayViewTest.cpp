// The gaze status drawing on a transparent image: what is drawn for each state, where the badge
// sits for different screen sizes, and the marker's layers at the gaze point.

#include "gaze/views/GazeOverlayView.h"

#include <gtest/gtest.h>

#include <optional>

#include "gaze/views/ViewTestImage.h"

namespace glimmora {
namespace {

using test::countPixels;
using test::pixelNear;

struct StatusCase {
    const char* name;
    QSize size;
    GazeOverlayView::State state;
    bool drawn;
    /// Expected badge stack centre (hand-worked: 120 left of the right edge, 50 down).
    QPointF badgeCentre;
    bool greenDot;
    bool hint;
    std::optional<QPoint> marker;
};

const StatusCase kCases[] = {
    {"SwitchedOff", {800, 600}, {false, true, true, {300, 300}}, false, {}, false, false, {}},
    {"NotTracking", {800, 600}, {true, false, true, {300, 300}}, false, {}, false, false, {}},
    {"FaceWide",
     {1280, 720},
     {true, true, true, {300, 400}},
     true,
     {1160, 50},
     true,
     false,
     QPoint(300, 400)},
    {"NoFaceSmall", {800, 600}, {true, true, false, {300, 400}}, true, {680, 50}, false, true, {}},
    {"FaceAtCorner",
     {800, 600},
     {true, true, true, {0, 0}},
     true,
     {680, 50},
     true,
     false,
     QPoint(0, 0)},
};

bool near(QRgb pixel, QColor colour) {
    return std::abs(qRed(pixel) - colour.red()) < 12 &&
           std::abs(qGreen(pixel) - colour.green()) < 12 &&
           std::abs(qBlue(pixel) - colour.blue()) < 12 && qAlpha(pixel) == 255;
}

class GazeOverlayViewTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(GazeOverlayViewTest, DrawsBadgeHintAndMarkerWhereTheStateSays) {
    const StatusCase& c = GetParam();
    const QImage image = test::paintedImage(c.size, Qt::transparent, [&](QPainter& painter) {
        GazeOverlayView::paint(painter, QSizeF(c.size), c.state);
    });
    const auto drawn = [](QRgb pixel) { return qAlpha(pixel) > 0; };
    if (!c.drawn) {
        EXPECT_EQ(countPixels(image, image.rect(), drawn), 0);
        return;
    }
    // The badge stack: every drawn pixel of the top-right quarter, away from the marker.
    const QRect corner(c.size.width() / 2, 0, c.size.width() / 2, 150);
    QRect stack;
    for (int y = corner.top(); y <= corner.bottom(); ++y) {
        for (int x = corner.left(); x <= corner.right(); ++x) {
            if (drawn(image.pixel(x, y))) {
                stack |= QRect(x, y, 1, 1);
            }
        }
    }
    EXPECT_NEAR(stack.x() + stack.width() / 2.0, c.badgeCentre.x(), 1.0);
    EXPECT_NEAR(stack.y() + stack.height() / 2.0, c.badgeCentre.y(), 1.0);
    // One row (about 25 points) with a face; the hint row below it without one.
    EXPECT_EQ(stack.height() > 40, c.hint) << stack.height();

    const int green =
        countPixels(image, stack, [](QRgb p) { return near(p, QColor(52, 199, 89)); });
    const int orange =
        countPixels(image, stack, [](QRgb p) { return near(p, QColor(255, 149, 0)); });
    EXPECT_GT(c.greenDot ? green : orange, 20);
    EXPECT_EQ(c.greenDot ? orange : green, 0);

    if (!c.marker) {
        EXPECT_EQ(countPixels(image, QRect(0, 0, c.size.width() / 2, c.size.height()), drawn), 0);
        return;
    }
    const QPoint at = *c.marker;
    EXPECT_TRUE(pixelNear(image, at, qRgba(50, 173, 230, 255)));  // cyan core
    // The white ring at 0.9 over the glow's cyan at about 0.39.
    EXPECT_TRUE(pixelNear(image, at + QPoint(6, 0), qRgba(232, 236, 239, 240)));
    // The glow 30 points out: 0.4 fading to nothing from radius 5 to 50, about 0.18 here.
    EXPECT_NEAR(qAlpha(image.pixel(at + QPoint(30, 0))), 45, 10);
    EXPECT_EQ(qAlpha(image.pixel(at + QPoint(51, 0))), 0);
}

INSTANTIATE_TEST_SUITE_P(States, GazeOverlayViewTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The marker sets off fast and settles: three quarters of the way at half time, never past it.
TEST(GazeOverlayViewGlide, EasesOutAndStopsAtTheTarget) {
    const Point from{100, 200}, to{300, 0};
    for (const auto& [progress, x, y] : {std::tuple{-1.0, 100.0, 200.0},
                                         {0.5, 250.0, 50.0},
                                         {1.0, 300.0, 0.0},
                                         {2.0, 300.0, 0.0}}) {
        EXPECT_EQ(GazeOverlayView::glide(from, to, progress), (Point{x, y})) << progress;
    }
}

}  // namespace
}  // namespace glimmora
