#include "platform/x11/capture/GlxSceneCompositor.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/gl/GlApi.h"
#include "platform/x11/capture/CapturePath.h"
#include "platform/x11/capture/Wallpaper.h"
#include "render/PictureTextures.h"
#include "support/GlxTestSupport.h"
#include "support/TestDesktop.h"

namespace glimmora::test {
namespace {

[[maybe_unused]] GlxSession& session = GlxSession::shared();

constexpr quint32 kRed = 0xd02020;
constexpr quint32 kGreen = 0x20c040;
constexpr quint32 kBlue = 0x2040d0;
constexpr quint32 kYellow = 0xe0d010;
constexpr quint32 kWhite = 0xf0f0f0;
constexpr quint32 kTeal = 0x108080;
constexpr quint32 kPlum = 0x603050;
const quint32 kPlain = kPlainDesktopColour & 0xffffff;

using Source = GlxSceneCompositor::Source;

/// The 8-bit RGBA `texture` of `size`, read back top row first, as Format_RGB32 words.
QImage readTexture(unsigned texture, QSize size) {
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    QImage image(size, QImage::Format_RGB32);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(image.bytesPerLine() / 4));
    glReadPixels(0, 0, size.width(), size.height(), GL_BGRA, GL_UNSIGNED_BYTE, image.bits());
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
    glDeleteFramebuffers(1, &framebuffer);
    return image;
}

/// Where two pictures of the same size first differ, in words; empty when they are the same.
std::string firstDifference(const QImage& expected, const QImage& actual) {
    if (expected.size() != actual.size()) {
        return "sizes differ";
    }
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const quint32 want = pixelAt(expected, x, y) | 0xff000000u;
            const quint32 got = pixelAt(actual, x, y) | 0xff000000u;
            if (want != got) {
                char text[96];
                std::snprintf(text, sizeof text, "at (%d, %d): expected %08x, got %08x", x, y, want,
                              got);
                return text;
            }
        }
    }
    return {};
}

class GlxSceneCompositorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!session.failure().empty()) {
            GTEST_SKIP() << session.failure();
        }
        session.makeCurrent();
        desktop_ = std::make_unique<TestDesktop>(session.displayName());
        ASSERT_TRUE(desktop_->isConnected());
        // The windows of the test before go with its connection, which the server closes in
        // its own time.
        ASSERT_TRUE(waitUntil([&] { return viewableWindowCount() == 0; }));
        // A wallpaper named by a test before is gone, and its id may be handed out again.
        for (const char* property : {"_XROOTPMAP_ID", "_XSETROOT_ID"}) {
            deleteRootProperty(property);
        }
        compositor_ = GlxSceneCompositor::forApplication();
        ASSERT_NE(compositor_, nullptr);
        if (!compositor_->canBindPixmaps()) {
            GTEST_SKIP() << "the GL driver does not bind pixmaps as textures";
        }
        ASSERT_TRUE(compositor_->initialize());
        textures_ = std::make_unique<PictureTextures>();
    }

    void TearDown() override {
        // GPU objects go while the context is current; the windows with the connection.
        session.makeCurrent();
        compositor_.reset();
        textures_.reset();
        desktop_.reset();
    }

    /// `scene` composed into a draw-loop picture, read back.
    QImage compose(const std::shared_ptr<const DesktopScene>& scene) {
        textures_->prepareDisplay(scene->size);
        EXPECT_TRUE(compositor_->composeInto(textures_->display(), scene->size, scene));
        return readTexture(textures_->display(), scene->size);
    }

    void deleteRootProperty(const char* name) {
        xcb_connection_t* c = desktop_->connection();
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        ASSERT_NE(atom, nullptr);
        xcb_delete_property(c, desktop_->root(), atom->atom);
        std::free(atom);
        desktop_->sync();
    }

    int viewableWindowCount() {
        xcb_connection_t* c = desktop_->connection();
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(c, xcb_query_tree(c, desktop_->root()), nullptr);
        int count = 0;
        for (int i = 0; tree != nullptr && i < xcb_query_tree_children_length(tree); ++i) {
            xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
                c, xcb_get_window_attributes(c, xcb_query_tree_children(tree)[i]), nullptr);
            count += attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(attributes);
        }
        std::free(tree);
        return count;
    }

    /// Waits until the copying run's newest picture shows `rgb` at `at` (a change the test
    /// made has arrived), then until the zero-copy run's newest scene composes into exactly
    /// that picture; says where they differ when they never do.
    ::testing::AssertionResult composesLikeCopying(CaptureRun& copying, CaptureRun& zeroCopy,
                                                   QPoint at, quint32 rgb) {
        if (!copying.delegate.waitForPicture([&](const QImage& picture) {
                return pixelAt(picture, at.x(), at.y()) == opaque(rgb);
            })) {
            return ::testing::AssertionFailure() << "the copying path never showed the change";
        }
        std::string difference = "nothing delivered";
        const bool same = waitUntil([&] {
            const QImage expected = copying.delegate.latestPicture();
            const auto scene = zeroCopy.delegate.latestScene();
            if (expected.isNull() || !scene) {
                return false;
            }
            difference = firstDifference(expected, compose(scene));
            return difference.empty();
        });
        if (same) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << difference;
    }

    /// The pixmap the newest scene of `run` names for `window`, if it is in it.
    static std::optional<quint32> pixmapOf(const CaptureRun& run, xcb_window_t window) {
        const auto scene = run.delegate.latestScene();
        if (!scene) {
            return std::nullopt;
        }
        for (const SceneLayer& layer : scene->layers) {
            if (layer.window == window) {
                return layer.pixmap;
            }
        }
        return std::nullopt;
    }

    std::unique_ptr<TestDesktop> desktop_;
    std::unique_ptr<GlxSceneCompositor> compositor_;
    std::unique_ptr<PictureTextures> textures_;
};

TEST_F(GlxSceneCompositorTest, MesaOffersTextureFromPixmapInTheApplicationsGlxContext) {
    EXPECT_TRUE(compositor_->canBindPixmaps());
    EXPECT_TRUE(compositor_->initialize()) << "a second call is harmless";
}

TEST_F(GlxSceneCompositorTest, ComposesTheSamePictureAsTheCopyingPath) {
    // A wallpaper tile smaller than the screen, two-coloured so that its tiling shows.
    const xcb_pixmap_t tile = desktop_->createPixmap(QSize(70, 50), kTeal);
    desktop_->fill(tile, QRect(0, 0, 35, 20), kPlum);
    desktop_->setWallpaper("_XROOTPMAP_ID", tile);
    desktop_->createWindow(QRect(100, 50, 200, 100), kRed);
    desktop_->createWindow(QRect(250, 120, 150, 140), kGreen, true, 6, kYellow);
    desktop_->createWindow(QRect(580, 430, 120, 90), kBlue);  // reaches past the screen
    const xcb_window_t own = desktop_->createWindow(QRect(120, 60, 60, 40), kWhite);
    desktop_->createArgbWindow(QRect(20, 300, 80, 60), 0x80102030);

    CaptureRun copying(session.displayName(), CapturePath::Copying, own);
    CaptureRun zeroCopy(session.displayName(), CapturePath::ZeroCopy, own);
    ASSERT_EQ(copying.failure(), "");
    ASSERT_EQ(zeroCopy.failure(), "");
    EXPECT_TRUE(composesLikeCopying(copying, zeroCopy, QPoint(10, 10), kPlum));
    const QImage expected = copying.delegate.latestPicture();
    EXPECT_EQ(pixelAt(expected, 50, 30), opaque(kTeal)) << "the tile's other colour";
    EXPECT_EQ(pixelAt(expected, 150, 70), opaque(kRed)) << "under our own window";
    EXPECT_EQ(pixelAt(expected, 252, 122), opaque(kYellow)) << "a border";
    EXPECT_EQ(pixelAt(expected, 639, 479), opaque(kBlue)) << "a window past the corner";

    const auto scene = zeroCopy.delegate.latestScene();
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(pixmapOf(zeroCopy, own), std::nullopt) << "our own window is no layer";
    for (const SceneLayer& layer : scene->layers) {
        EXPECT_EQ(compositor_->sourceOf(layer.pixmap), Source::Bound) << "window " << layer.window;
    }
    ASSERT_TRUE(scene->wallpaper.has_value());
    EXPECT_EQ(compositor_->sourceOf(scene->wallpaper->pixmap), Source::Bound);
}

TEST_F(GlxSceneCompositorTest, FollowsDrawingStackingResizesAndDestruction) {
    const xcb_window_t red = desktop_->createWindow(QRect(40, 40, 200, 150), kRed);
    const xcb_window_t green = desktop_->createWindow(QRect(140, 100, 200, 150), kGreen);
    const xcb_window_t blue = desktop_->createWindow(QRect(300, 200, 100, 100), kBlue);
    CaptureRun copying(session.displayName(), CapturePath::Copying);
    CaptureRun zeroCopy(session.displayName(), CapturePath::ZeroCopy);
    ASSERT_EQ(copying.failure(), "");
    ASSERT_EQ(zeroCopy.failure(), "");
    ASSERT_TRUE(composesLikeCopying(copying, zeroCopy, QPoint(200, 150), kGreen));

    const int rebindsBefore = compositor_->rebindCount();
    desktop_->fill(red, QRect(10, 10, 50, 30), kYellow);
    EXPECT_TRUE(composesLikeCopying(copying, zeroCopy, QPoint(50, 50), kYellow)) << "after drawing";
    EXPECT_GT(compositor_->rebindCount(), rebindsBefore) << "drawing is shown by binding again";

    desktop_->raise(red);
    EXPECT_TRUE(composesLikeCopying(copying, zeroCopy, QPoint(200, 150), kRed)) << "after raising";
    desktop_->resize(green, QSize(260, 60));
    desktop_->move(blue, QPoint(10, 300));
    EXPECT_TRUE(composesLikeCopying(copying, zeroCopy, QPoint(50, 350), kBlue))
        << "after a resize and a move";
    desktop_->destroy(red);
    EXPECT_TRUE(composesLikeCopying(copying, zeroCopy, QPoint(100, 100), kPlain))
        << "after destruction";
}

TEST_F(GlxSceneCompositorTest, FallsBackToCopyingOnlyTheWindowThatCannotBeBound) {
    const xcb_window_t refused = desktop_->createWindow(QRect(60, 60, 180, 120), kRed);
    const xcb_window_t other = desktop_->createWindow(QRect(200, 100, 180, 120), kGreen);
    compositor_->setBindingRefusal([refused](quint32 window) { return window == refused; });
    CaptureRun copying(session.displayName(), CapturePath::Copying);
    CaptureRun zeroCopy(session.displayName(), CapturePath::ZeroCopy);
    ASSERT_EQ(copying.failure(), "");
    ASSERT_EQ(zeroCopy.failure(), "");
    ASSERT_TRUE(composesLikeCopying(copying, zeroCopy, QPoint(300, 200), kGreen));
    EXPECT_EQ(compositor_->sourceOf(*pixmapOf(zeroCopy, refused)), Source::Copied);
    EXPECT_EQ(compositor_->sourceOf(*pixmapOf(zeroCopy, other)), Source::Bound);

    desktop_->fill(refused, QRect(0, 0, 60, 60), kBlue);
    EXPECT_TRUE(composesLikeCopying(copying, zeroCopy, QPoint(70, 70), kBlue))
        << "the copy follows drawing";
    EXPECT_EQ(compositor_->sourceOf(*pixmapOf(zeroCopy, refused)), Source::Copied);
}

TEST_F(GlxSceneCompositorTest, ShowsWindowsTheRightWayUpWhetherBoundOrCopied) {
    const QRect bound(50, 80, 120, 100);
    const QRect copied(300, 80, 120, 100);
    for (const QRect& rect : {bound, copied}) {
        const xcb_window_t window = desktop_->createWindow(rect, kBlue);
        desktop_->fill(window, QRect(0, 0, rect.width(), rect.height() / 2), kRed);
        if (rect == copied) {
            compositor_->setBindingRefusal([window](quint32 id) { return id == window; });
        }
    }
    CaptureRun zeroCopy(session.displayName(), CapturePath::ZeroCopy);
    ASSERT_EQ(zeroCopy.failure(), "");
    ASSERT_TRUE(zeroCopy.delegate.waitForScene(
        [](const DesktopScene& scene) { return scene.layers.size() == 2; }));
    const QImage picture = compose(zeroCopy.delegate.latestScene());
    for (const QRect& rect : {bound, copied}) {
        EXPECT_EQ(pixelAt(picture, rect.center().x(), rect.top() + 5), opaque(kRed));
        EXPECT_EQ(pixelAt(picture, rect.center().x(), rect.top()), opaque(kRed)) << "top row";
        EXPECT_EQ(pixelAt(picture, rect.center().x(), rect.bottom() - 5), opaque(kBlue));
        EXPECT_EQ(pixelAt(picture, rect.center().x(), rect.bottom()), opaque(kBlue))
            << "bottom row";
    }
}

TEST_F(GlxSceneCompositorTest, AHeldSceneKeepsItsPixmapsWhichGoWithTheLastScene) {
    const xcb_window_t window = desktop_->createWindow(QRect(100, 100, 150, 100), kGreen);
    CaptureRun zeroCopy(session.displayName(), CapturePath::ZeroCopy);
    ASSERT_EQ(zeroCopy.failure(), "");
    ASSERT_TRUE(zeroCopy.delegate.waitForScene(
        [](const DesktopScene& scene) { return scene.layers.size() == 1; }));
    std::shared_ptr<const DesktopScene> before = zeroCopy.delegate.latestScene();
    const quint32 firstPixmap = *pixmapOf(zeroCopy, window);

    // A resize names a new pixmap; the scene held here still names the old one.
    desktop_->resize(window, QSize(200, 120));
    ASSERT_TRUE(zeroCopy.delegate.waitForScene([&](const DesktopScene& scene) {
        return !scene.layers.empty() && scene.layers.front().pixmap != firstPixmap;
    }));
    auto exists = [&](quint32 pixmap) {
        xcb_connection_t* c = desktop_->connection();
        xcb_get_geometry_reply_t* geometry =
            xcb_get_geometry_reply(c, xcb_get_geometry(c, pixmap), nullptr);
        std::free(geometry);
        return geometry != nullptr;
    };
    EXPECT_TRUE(exists(firstPixmap));
    const QImage old = compose(before);
    EXPECT_EQ(pixelAt(old, 240, 190), opaque(kGreen)) << "the old size, from the old pixmap";
    EXPECT_NE(pixelAt(old, 290, 210), opaque(kGreen));

    // The compositor holds the last scene it drew: composing the new one lets the old go.
    std::shared_ptr<const DesktopScene> after = zeroCopy.delegate.latestScene();
    const quint32 secondPixmap = *pixmapOf(zeroCopy, window);
    before.reset();
    compose(after);
    EXPECT_TRUE(waitUntil([&] { return !exists(firstPixmap); })) << "freed after its last scene";

    // The stream ends; the scene held outlives it, and with it the pixmap and the connection.
    zeroCopy.stop();
    zeroCopy.delegate.forgetScene();
    const QImage shown = compose(after);
    EXPECT_EQ(pixelAt(shown, 290, 210), opaque(kGreen)) << "the new size";
    compositor_.reset();  // lets go of the scene it drew last
    EXPECT_TRUE(exists(secondPixmap)) << "the test still holds a scene";
    after.reset();
    EXPECT_TRUE(waitUntil([&] { return !exists(secondPixmap); })) << "gone with the last scene";
}

TEST_F(GlxSceneCompositorTest, LeavesOutQuietlyWhatVanishedBeforeTheDraw) {
    const xcb_pixmap_t wallpaper = desktop_->createPixmap(GlxSession::kScreenSize, kTeal);
    desktop_->setWallpaper("_XROOTPMAP_ID", wallpaper);
    const xcb_window_t window = desktop_->createWindow(QRect(100, 100, 150, 100), kGreen);
    CaptureRun zeroCopy(session.displayName(), CapturePath::ZeroCopy);
    ASSERT_EQ(zeroCopy.failure(), "");
    ASSERT_TRUE(zeroCopy.delegate.waitForScene([](const DesktopScene& scene) {
        return scene.layers.size() == 1 && scene.wallpaper.has_value();
    }));
    const auto scene = zeroCopy.delegate.latestScene();

    // The wallpaper's owner frees it and the window is destroyed before this scene is drawn.
    xcb_free_pixmap(desktop_->connection(), wallpaper);
    desktop_->destroy(window);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const QImage picture = compose(scene);
    const std::string printed =
        testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "");
    EXPECT_EQ(pixelAt(picture, 10, 10), opaque(scene->plainColour & 0xffffff))
        << "no wallpaper: the plain colour";
    EXPECT_EQ(compositor_->sourceOf(scene->wallpaper->pixmap), Source::Absent);
    EXPECT_EQ(pixelAt(picture, 150, 150), opaque(kGreen))
        << "the window's last contents: the scene keeps its pixmap";
}

}  // namespace
}  // namespace glimmora::test
