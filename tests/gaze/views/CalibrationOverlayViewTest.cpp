// The calibration screen on a grey image: the title page, and the current target, the done
// marks and the progress box at hand-worked positions (targets count y from the bottom).

#include "gaze/views/CalibrationOverlayView.h"

#include <gtest/gtest.h>

#include <vector>

#include "gaze/views/ViewTestImage.h"

namespace glimmora {
namespace {

using test::countPixels;
using test::pixelNear;

// Grey 128 under black at 0.85 is 19; the box's black at 0.5 halves that; green (52, 199, 89)
// at 0.5 over the fill is a done mark; the dot's outer ring is white at 0.5 over the fill.
const QRgb kFill = qRgb(19, 19, 19);
const QRgb kBox = qRgb(10, 10, 10);
const QRgb kDotCentre = qRgb(255, 255, 255);
const QRgb kDotDisc = qRgb(52, 199, 89);
const QRgb kDotRing = qRgb(137, 137, 137);
const QRgb kDoneMark = qRgb(36, 109, 54);

struct Probe {
    QPoint at;
    QRgb expected;
};

struct CalibrationCase {
    const char* name;
    QSize size;
    bool showInstructions;
    int step;
    double dotScale;
    bool titlePage;
    std::vector<Probe> probes;
};

const CalibrationCase kCases[] = {
    {"TitlePage", {1280, 720}, true, 0, 1.0, true, {{{192, 108}, kFill}, {{640, 10}, kFill}}},
    // Target 0 at (0.15 w, 0.15 h): the top-left one.
    {"FirstTarget",
     {1280, 720},
     false,
     0,
     1.0,
     false,
     {{{192, 108}, kDotCentre},
      {{197, 108}, kDotDisc},
      {{222, 108}, kDotRing},
      {{640, 10}, kBox},
      {{640, 360}, kFill},
      {{1088, 612}, kFill}}},
    // Target 4 in the centre, pulsed to 1.3 (the outer ring at 39); targets 0 to 3 done.
    {"CentreTarget",
     {800, 600},
     true,
     4,
     1.3,
     false,
     {{{400, 300}, kDotCentre},
      {{405, 300}, kDotDisc},
      {{439, 300}, kDotRing},
      {{430, 300}, kFill},
      {{120, 90}, kDoneMark},
      {{680, 90}, kDoneMark},
      {{120, 300}, kDoneMark},
      {{680, 300}, kFill},
      {{120, 510}, kFill}}},
    // All nine done: marks everywhere and no current target.
    {"AllDone",
     {1280, 720},
     false,
     9,
     1.0,
     false,
     {{{192, 108}, kDoneMark},
      {{640, 360}, kDoneMark},
      {{1088, 612}, kDoneMark},
      {{192, 612}, kDoneMark},
      {{640, 10}, kBox}}},
};

class CalibrationOverlayViewTest : public ::testing::TestWithParam<CalibrationCase> {};

TEST_P(CalibrationOverlayViewTest, DrawsTheScreenOfTheStep) {
    const CalibrationCase& c = GetParam();
    const auto targets = calibrationTargets();
    const QImage image = test::paintedImage(c.size, QColor(128, 128, 128), [&](QPainter& p) {
        CalibrationOverlayView::paint(p, QSizeF(c.size),
                                      {c.showInstructions, c.step, targets, c.dotScale});
    });
    for (const Probe& probe : c.probes) {
        EXPECT_TRUE(pixelNear(image, probe.at, probe.expected));
    }
    // The title's white letters, in the band above the centre where no target lies.
    const QRect titleBand(c.size.width() / 4, c.size.height() / 2 - 80, c.size.width() / 2, 40);
    const int white = countPixels(image, titleBand, [](QRgb p) { return qGray(p) > 240; });
    EXPECT_EQ(white > 100, c.titlePage) << white;
}

INSTANTIATE_TEST_SUITE_P(Steps, CalibrationOverlayViewTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace glimmora
