#include "render/OverlayRenderer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "capture/ScenePictureCompositor.h"
#include "platform/gl/GlApi.h"
#include "render/OffscreenTarget.h"
#include "render/PictureTextures.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/LogCapture.h"
#include "support/ManualRepeatingTimer.h"
#include "support/OffscreenGlTest.h"
#include "support/PixelTestSupport.h"
#include "trackers/MouseTracker.h"
#include "trackers/WindowFocusTracker.h"

namespace glimmora {
namespace {

using Lines = std::vector<std::string>;
const std::string kFirstReport = "🎨 Draw: 1 calls in last 5s, window visible: false";
const std::string kNoTexture = "⚠️ No texture available for drawing!";
const std::string kBackup = "🔄 Using persistent texture backup";
const QRgb kComposed = qRgb(30, 160, 90);

DesktopPicture sceneOf(QSize size) {
    auto scene = std::make_shared<DesktopScene>();
    scene->size = size;
    return {QImage(), scene};
}

/// Composes every scene as one solid colour, uploaded into the texture it is given.
class FakeSceneCompositor final : public ScenePictureCompositor {
public:
    struct Record {
        bool canInitialize = true;
        bool composes = true;
        int initializations = 0;
        std::shared_ptr<const DesktopScene> lastScene;
    };
    explicit FakeSceneCompositor(std::shared_ptr<Record> record) : record_(std::move(record)) {}

    bool initialize() override {
        ++record_->initializations;
        return record_->canInitialize;
    }
    bool composeInto(unsigned texture, QSize size,
                     const std::shared_ptr<const DesktopScene>& scene) override {
        record_->lastScene = scene;
        // A failure halfway leaves the texture spoilt.
        QImage composed(size, QImage::Format_RGB32);
        composed.fill(record_->composes ? kComposed : qRgb(255, 0, 255));
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, size.width(), size.height(), GL_BGRA,
                        GL_UNSIGNED_BYTE, composed.constBits());
        return record_->composes;
    }

private:
    std::shared_ptr<Record> record_;
};

class OverlayRendererTest : public test::OffscreenGlTest {
protected:
    std::unique_ptr<OverlayRenderer> makeRenderer(bool initialize = true) {
        auto renderer = std::make_unique<OverlayRenderer>(settings_, [this] { return now_; });
        if (initialize) {
            renderer->initialize();
        }
        return renderer;
    }

    /// Draws one frame and returns what it logged.
    Lines draw(OverlayRenderer& renderer, const RenderTarget& target) {
        log_.clear();
        renderer.draw(target);
        return log_.lines();
    }

    test::LogCapture log_;
    MemoryUserDefaults defaults_;
    AppState settings_{defaults_};
    double now_ = 100.0;
};

TEST_F(OverlayRendererTest, PausedWhileTheOverlayIsSwitchedOff) {
    settings_.isOverlayEnabled = false;
    auto renderer = makeRenderer();
    EXPECT_TRUE(renderer->isPaused());
    OffscreenTarget target({8, 8});
    renderer->handOver().submit(pixeltest::solidPicture({8, 8}, {10, 20, 30}));
    EXPECT_EQ(draw(*renderer, target.target()), Lines{}) << "a paused frame does nothing";
    EXPECT_TRUE(renderer->handOver().takePending().has_value()) << "and takes no picture";

    settings_.isOverlayEnabled = true;
    EXPECT_FALSE(renderer->isPaused());
}

TEST_F(OverlayRendererTest, DrawsTheNewestPictureAndFallsBackToItsBackup) {
    auto renderer = makeRenderer();
    const PictureTextures& textures = *renderer->textures();
    OffscreenTarget target({16, 12});
    renderer->handOver().submit(pixeltest::solidPicture({16, 12}, {200, 0, 0}));
    renderer->handOver().submit(pixeltest::solidPicture({16, 12}, {0, 0, 200}));
    draw(*renderer, target.target());
    EXPECT_EQ(target.read().pixel(5, 5), qRgb(0, 0, 200));
    EXPECT_EQ(textures.allocations(), 1);

    // Without a new picture the last one is drawn again, silently.
    EXPECT_EQ(draw(*renderer, target.target()), Lines{});
    EXPECT_EQ(target.read().pixel(5, 5), qRgb(0, 0, 200));
    // A picture of the same size reuses the backup.
    renderer->handOver().submit(pixeltest::solidPicture({16, 12}, {90, 60, 30}));
    draw(*renderer, target.target());
    EXPECT_EQ(textures.allocations(), 1);
    // A withdrawn picture: the backup, holding the last picture, stands in.
    renderer->handOver().submit(QImage());
    EXPECT_EQ(draw(*renderer, target.target()), Lines{kBackup});
    EXPECT_EQ(target.read().pixel(8, 6), qRgb(90, 60, 30));
    // A new size replaces the backup.
    renderer->handOver().submit(pixeltest::solidPicture({20, 10}, {5, 5, 5}));
    EXPECT_EQ(draw(*renderer, target.target()), Lines{});
    EXPECT_EQ(textures.allocations(), 2);
    EXPECT_EQ(textures.displaySize(), QSize(20, 10));
}

TEST_F(OverlayRendererTest, ComposesScenesIntoTheDisplayPictureAndBacksThemUp) {
    auto record = std::make_shared<FakeSceneCompositor::Record>();
    auto renderer = makeRenderer(false);
    renderer->setSceneCompositor(std::make_unique<FakeSceneCompositor>(record));
    EXPECT_FALSE(renderer->canComposeScenes()) << "not before its context is there";
    renderer->initialize();
    EXPECT_TRUE(renderer->canComposeScenes());
    EXPECT_EQ(record->initializations, 1);

    OffscreenTarget target({16, 12});
    const DesktopPicture scene = sceneOf({16, 12});
    renderer->handOver().submit(scene);
    draw(*renderer, target.target());
    EXPECT_EQ(record->lastScene, scene.scene);
    EXPECT_EQ(target.read().pixel(8, 6), kComposed);
    // A composition that fails: the backup holds the composed picture.
    record->composes = false;
    renderer->handOver().submit(sceneOf({16, 12}));
    EXPECT_EQ(draw(*renderer, target.target()), Lines{kBackup});
    EXPECT_EQ(target.read().pixel(8, 6), kComposed);
}

TEST_F(OverlayRendererTest, SkipsAFrameItCannotDrawAndSaysWhy) {
    OffscreenTarget target({8, 8});
    // A compositor that failed to start is never asked; set after initialize() it starts at once.
    auto record = std::make_shared<FakeSceneCompositor::Record>();
    record->canInitialize = false;
    const auto renderer = makeRenderer();
    renderer->setSceneCompositor(std::make_unique<FakeSceneCompositor>(record));
    EXPECT_EQ(record->initializations, 1);
    EXPECT_FALSE(renderer->canComposeScenes());
    renderer->handOver().submit(sceneOf({8, 8}));
    EXPECT_EQ(draw(*renderer, target.target()), (Lines{kFirstReport, kNoTexture}));
    EXPECT_EQ(record->lastScene, nullptr);
}

// The switch's log line is checked end to end, on the menu.
TEST_F(OverlayRendererTest, GazeTrackingSwitchesFocusModeOnButNotOff) {
    auto renderer = makeRenderer();
    settings_.isGazeTrackingEnabled = true;
    EXPECT_TRUE(settings_.isFocusEnabled());
    settings_.isGazeTrackingEnabled = false;
    EXPECT_TRUE(settings_.isFocusEnabled());
}

TEST_F(OverlayRendererTest, FramesFollowTheTrackersAndClicksExplodeOnTheRenderersClock) {
    Point pointer{200, 450};
    const auto screen = [] { return std::optional(Rect{0, 0, 800, 600}); };
    MouseTracker mouse(settings_, screen, [&pointer] { return std::optional(pointer); });
    const WindowRecord editor{.windowId = 7, .ownerPid = 42, .bounds = {200, 150, 400, 300}};
    WindowFocusTracker window(
        settings_, [&] { return std::vector<WindowRecord>{editor}; }, screen, 1,
        std::make_unique<ManualRepeatingTimer>());
    settings_.isSmartFocusEnabled = true;
    settings_.isExplosionEnabled = true;
    auto renderer = makeRenderer();
    renderer->startTrackers(&mouse, &window);
    EXPECT_TRUE(mouse.isTracking());
    EXPECT_TRUE(window.isTracking());

    mouse.leftButtonPressed();
    ASSERT_TRUE(renderer->rendererState().currentExplosion.has_value());
    EXPECT_EQ(*renderer->rendererState().currentExplosion, (Explosion{0.25f, 0.75f, 100.0}));

    mouse.pointerMoved(400, 150);
    OffscreenTarget target({8, 8});
    renderer->handOver().submit(pixeltest::solidPicture({8, 8}, {1, 2, 3}));
    draw(*renderer, target.target());
    EXPECT_EQ(renderer->trackerReadings().mouse, (FrameInputs::Mouse{0.5f, 0.25f}));
    EXPECT_EQ(renderer->trackerReadings().window,
              (FrameInputs::Window{true, {0.25, 0.25, 0.5, 0.5}}));
    EXPECT_TRUE(renderer->rendererState().currentExplosion.has_value());
    now_ = 100.625;  // past the 0.6 s lifetime
    draw(*renderer, target.target());
    EXPECT_FALSE(renderer->rendererState().currentExplosion.has_value());

    renderer.reset();
    EXPECT_FALSE(mouse.isTracking());
    EXPECT_FALSE(window.isTracking());
    mouse.leftButtonPressed();  // must not reach the renderer that is gone
}

}  // namespace
}  // namespace glimmora
