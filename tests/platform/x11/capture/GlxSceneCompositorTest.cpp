#include "platform/x11/capture/GlxSceneCompositor.h"

#include <gtest/gtest.h>

#include "platform/x11/connection/XcbReply.h"
#include "support/CaptureTestSupport.h"
#include "support/LogCapture.h"

namespace glimmora::test {
namespace {

using Source = GlxSceneCompositor::Source;

const Rgb kRed{208, 32, 32};
const Rgb kGreen{32, 192, 64};
const Rgb kBlue{32, 64, 208};

class GlxSceneCompositorTest : public CaptureDesktopTest {
protected:
    GlxSceneCompositorTest() : CaptureDesktopTest(CapturePath::ZeroCopy) {}

    /// The newest scene once it has `layers` layers.
    std::shared_ptr<const DesktopScene> sceneOf(std::size_t layers) {
        std::shared_ptr<const DesktopScene> scene;
        EXPECT_TRUE(waitUntil(
            [&] {
                scene = run.delegate.record().latest.scene;
                return scene && scene->layers.size() == layers;
            },
            3s));
        return scene;
    }

    bool exists(quint32 pixmap) {
        return XcbReply<xcb_get_geometry_reply_t>(xcb_get_geometry_reply(
                   x.connection(), xcb_get_geometry(x.connection(), pixmap), nullptr)) != nullptr;
    }
};

TEST_F(GlxSceneCompositorTest, CopiesTheWindowItCannotBindTheRightWayUpAndFollowsItsDrawing) {
    window({50, 80, 120, 100}, kBlue);
    const xcb_window_t copied = window({300, 80, 120, 100}, kBlue);
    x.fill(copied, {0, 0, 120, 50}, kRed);  // the top half
    compositor->setBindingRefusal([copied](quint32 window) { return window == copied; });
    ASSERT_EQ(run.start(), "");
    ASSERT_TRUE(showsSoon(360, 80, kRed)) << "the top row";
    EXPECT_EQ(at(360, 179), kBlue) << "the bottom row";
    const auto scene = run.delegate.record().latest.scene;
    EXPECT_EQ(compositor->sourceOf(scene->layers[0].pixmap), Source::Bound);
    EXPECT_EQ(compositor->sourceOf(scene->layers[1].pixmap), Source::Copied);
    x.fill(copied, {0, 0, 10, 10}, kGreen);
    EXPECT_TRUE(showsSoon(300, 80, kGreen)) << "the copy follows drawing";
}

TEST_F(GlxSceneCompositorTest, AHeldSceneKeepsItsPixmapsWhichGoWithTheLastScene) {
    const xcb_window_t growing = window({100, 100, 150, 100}, kGreen);
    ASSERT_EQ(run.start(), "");
    std::shared_ptr<const DesktopScene> before = sceneOf(1);
    ASSERT_NE(before, nullptr);
    const quint32 firstPixmap = before->layers[0].pixmap;

    // A resize names a new pixmap; the scene held here still names the old one.
    x.resize(growing, 200, 120);
    ASSERT_TRUE(showsSoon(290, 210, kGreen));
    std::shared_ptr<const DesktopScene> after = run.delegate.record().latest.scene;
    const quint32 secondPixmap = after->layers[0].pixmap;
    ASSERT_NE(secondPixmap, firstPixmap);
    EXPECT_TRUE(exists(firstPixmap));
    const QImage old = composed(*compositor, before);
    EXPECT_EQ(old.pixel(240, 190), qRgb(32, 192, 64)) << "the old size, from the old pixmap";
    EXPECT_NE(old.pixel(290, 210), qRgb(32, 192, 64));

    // The compositor holds the last scene it drew: composing another lets the old one go.
    before.reset();
    composed(*compositor, after);
    EXPECT_TRUE(waitUntil([&] { return !exists(firstPixmap); }, 3s)) << "freed with its scenes";

    // The stream ends; the scene held outlives it, and with it the pixmap and the connection.
    run.stream.reset();
    run.delegate.didOutputSample({QImage(1, 1, QImage::Format_RGB32)});  // in place of the scene
    EXPECT_EQ(composed(*compositor, after).pixel(290, 210), qRgb(32, 192, 64));
    compositor.reset();
    EXPECT_TRUE(exists(secondPixmap)) << "the test still holds a scene";
    after.reset();
    EXPECT_TRUE(waitUntil([&] { return !exists(secondPixmap); }, 3s)) << "gone with the last";
}

TEST_F(GlxSceneCompositorTest, LeavesOutQuietlyWhatVanishedBeforeTheDraw) {
    const xcb_pixmap_t wallpaper = x.createPixmap(640, 480, kBlue);
    x.setCardinals(x.root(), "_XROOTPMAP_ID", XCB_ATOM_PIXMAP, {wallpaper});
    const xcb_window_t vanishing = window({100, 100, 150, 100}, kGreen);
    ASSERT_EQ(run.start(), "");
    const auto scene = sceneOf(1);
    ASSERT_TRUE(scene && scene->wallpaper.has_value());

    // The wallpaper's owner frees it and the window is destroyed before this scene is drawn.
    xcb_free_pixmap(x.connection(), wallpaper);
    x.destroy(vanishing);
    x.sync();
    const LogCapture log;
    picture = composed(*compositor, scene);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(at(10, 10), (Rgb{0, 0, 0})) << "no wallpaper: the plain colour";
    EXPECT_EQ(compositor->sourceOf(scene->wallpaper->pixmap), Source::Absent);
    EXPECT_EQ(at(150, 150), kGreen) << "the window's last contents: the scene keeps its pixmap";
}

}  // namespace
}  // namespace glimmora::test
