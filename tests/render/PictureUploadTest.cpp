#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "render/OffscreenTarget.h"
#include "render/OverlayRenderer.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/OffscreenGlTest.h"
#include "support/PixelTestSupport.h"

namespace glimmora {
namespace {

const QSize kSize(64, 48);

// A picture every pixel of which differs from its neighbours and from every other seed's.
QImage pattern(QSize size, int seed) {
    return pixeltest::paintedPicture(size, [seed](int x, int y) {
        return qRgb((x * 4 + seed) & 0xff, (y * 5 + seed * 3) & 0xff, seed);
    });
}

// `base` with `area` painted over from `over`.
QImage patched(const QImage& base, const QImage& over, const QRegion& area) {
    QImage result = base.copy();
    QPainter painter(&result);
    painter.setClipRegion(area);
    painter.drawImage(0, 0, over);
    return result;
}

// With every effect off the overlay shows its picture exactly, so what is drawn is what the
// display texture holds. Every frame is drawn into a target that holds the last frame, so a
// frame may redraw only what changed: what it shows must not depend on that.
using PictureUploadTest = test::OffscreenGlTest;
using Contents = OverlayRenderer::TargetContents;

TEST_F(PictureUploadTest, RegionUploadsAndRedrawsShowWhatWholeOnesWould) {
    MemoryUserDefaults defaults;
    AppState settings(defaults);

    const QImage first = pattern(kSize, 1);
    const QRegion left = QRegion(3, 5, 10, 7) + QRegion(40, 30, 20, 12);
    const QRegion right(20, 1, 9, 40);
    const QImage once = patched(first, pattern(kSize, 2), left);
    const QImage twice = patched(once, pattern(kSize, 3), right);
    const QImage other = pattern(kSize, 4);
    const QImage small = pattern({32, 24}, 5);
    const QRegion speck(0, 0, 1, 1);  // a wrong, too small region, that must not be trusted
    const QRegion whole(QRect(QPoint(0, 0), kSize));
    struct Step {
        DesktopPicture picture;
        bool drawn;  // else it waits in the hand-over for the next
    };
    struct Row {
        const char* what;
        std::vector<Step> steps;
        QImage shown;
        QRegion lastDrawn;
    };
    const Row rows[] = {
        {"region", {{{once, nullptr, left}, true}}, once, left},
        {"regions merged while waiting",
         {{{once, nullptr, left}, false}, {{twice, nullptr, right}, true}},
         twice,
         left + right},
        {"after a withdrawal", {{{}, true}, {{other, nullptr, speck}, true}}, other, whole},
        {"withdrawn while waiting", {{{}, false}, {{other, nullptr, speck}, true}}, other, whole},
        {"new size", {{{small, nullptr, speck}, true}}, small, QRect(0, 0, 32, 24)},
        {"unknown region", {{{other, nullptr, std::nullopt}, true}}, other, whole},
    };
    for (const Row& row : rows) {
        OverlayRenderer renderer(settings, [] { return 1.0; });
        renderer.initialize();
        OffscreenTarget target(row.shown.size());
        renderer.handOver().submit(first);
        renderer.draw(target.target(), Contents::LastFrame);
        QRegion drawn;
        for (const Step& step : row.steps) {
            renderer.handOver().submit(step.picture);
            if (step.drawn) {
                drawn = renderer.draw(target.target(), Contents::LastFrame);
            }
        }
        EXPECT_EQ(target.read().convertToFormat(QImage::Format_RGB32), row.shown) << row.what;
        EXPECT_EQ(drawn, row.lastDrawn) << row.what;
    }
}

// A frame redraws where the picture's change shows: the changed pixels, and where the ruler
// magnifies them, their magnified place; whole frames when the look changed or the channels are
// split (by amounts that vary).
TEST_F(PictureUploadTest, AFrameRedrawsWhereThePicturesChangeShows) {
    const QImage first = pattern(kSize, 1);
    // One part in the ruler's band (in the middle of the screen), one below it.
    const QRegion change = QRegion(5, 36, 12, 9) + QRegion(20, 23, 6, 2);
    const QImage second = patched(first, pattern(kSize, 2), change);
    const QRegion whole(QRect(QPoint(0, 0), kSize));
    enum class Drawn { Change, More, Whole };
    struct Row {
        const char* what;
        std::function<void(AppState&)> look;
        std::function<void(AppState&)> between;  // after the first frame
        Drawn drawn;
    };
    const auto lookOf = [](AppState& s) {
        s.isScreenDimmerEnabled = true;
        s.screenBrightness = -0.4f;
        s.isFocusEnabled = true;
        s.isDyslexiaAidsEnabled = true;
    };
    const auto nothing = [](AppState&) {};
    const Row rows[] = {
        {"dimmer, focus band and tint", lookOf, nothing, Drawn::Change},
        {"look changed", lookOf, [](AppState& s) { s.screenBrightness = -0.2f; }, Drawn::Whole},
        {"ruler magnifies",
         [](AppState& s) {
             s.isReadingRulerEnabled = true;
             s.readingRulerZoom = 2.5f;
             s.readingRulerHeight = 0.25f;
         },
         nothing, Drawn::More},
        {"channels split",
         [](AppState& s) {
             s.isRetroEffectEnabled = true;
             s.isRGBShiftEnabled = true;
         },
         nothing, Drawn::Whole},
    };
    for (const Row& row : rows) {
        MemoryUserDefaults defaults;
        AppState settings(defaults);
        row.look(settings);
        OverlayRenderer renderer(settings, [] { return 1.0; });
        renderer.initialize();
        OffscreenTarget target(kSize);
        renderer.handOver().submit(first);
        renderer.draw(target.target(), Contents::LastFrame);
        row.between(settings);
        renderer.handOver().submit(DesktopPicture{second, nullptr, change});
        const QRegion drawn = renderer.draw(target.target(), Contents::LastFrame);
        switch (row.drawn) {
            case Drawn::Change:
                EXPECT_EQ(drawn, change) << row.what;
                break;
            case Drawn::More:
                EXPECT_EQ(drawn & change, change) << row.what;
                EXPECT_NE(drawn, change) << row.what;
                EXPECT_NE(drawn, whole) << row.what;
                break;
            case Drawn::Whole:
                EXPECT_EQ(drawn, whole) << row.what;
                break;
        }

        OverlayRenderer fresh(settings, [] { return 1.0; });
        fresh.initialize();
        OffscreenTarget wholeTarget(kSize);
        fresh.handOver().submit(second);
        fresh.draw(wholeTarget.target());
        EXPECT_EQ(target.read(), wholeTarget.read()) << row.what;
    }
}

}  // namespace
}  // namespace glimmora
