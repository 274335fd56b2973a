#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
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
// display texture holds.
using PictureUploadTest = test::OffscreenGlTest;

TEST_F(PictureUploadTest, ARegionUploadShowsWhatAWholeUploadWould) {
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
    struct Step {
        DesktopPicture picture;
        bool drawn;  // else it waits in the hand-over for the next
    };
    struct Row {
        const char* what;
        std::vector<Step> steps;
        QImage shown;
    };
    const Row rows[] = {
        {"region", {{{once, nullptr, left}, true}}, once},
        {"regions merged while waiting",
         {{{once, nullptr, left}, false}, {{twice, nullptr, right}, true}},
         twice},
        {"after a withdrawal", {{{}, true}, {{other, nullptr, speck}, true}}, other},
        {"withdrawn while waiting", {{{}, false}, {{other, nullptr, speck}, true}}, other},
        {"new size", {{{small, nullptr, speck}, true}}, small},
        {"unknown region", {{{other, nullptr, std::nullopt}, true}}, other},
    };
    for (const Row& row : rows) {
        OverlayRenderer renderer(settings, [] { return 1.0; });
        renderer.initialize();
        OffscreenTarget target(row.shown.size());
        renderer.handOver().submit(first);
        renderer.draw(target.target());
        for (const Step& step : row.steps) {
            renderer.handOver().submit(step.picture);
            if (step.drawn) {
                renderer.draw(target.target());
            }
        }
        EXPECT_EQ(target.read().convertToFormat(QImage::Format_RGB32), row.shown) << row.what;
    }
}

}  // namespace
}  // namespace glimmora
