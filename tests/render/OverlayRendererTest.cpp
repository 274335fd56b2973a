#include "render/OverlayRenderer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <string>

#include "capture/ScenePictureCompositor.h"
#include "platform/egl/EglOffscreenContext.h"
#include "platform/gl/GlApi.h"
#include "render/OffscreenTarget.h"
#include "render/PictureTextures.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/ManualRepeatingTimer.h"
#include "trackers/MouseTracker.h"
#include "trackers/WindowFocusTracker.h"

namespace glimmora {
namespace {

QImage solid(QSize size, QRgb colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

std::shared_ptr<const DesktopScene> sceneOf(QSize size) {
    auto scene = std::make_shared<DesktopScene>();
    scene->size = size;
    return scene;
}

/// Composes every scene as one solid colour, drawn into the texture it is given.
class FakeSceneCompositor final : public ScenePictureCompositor {
public:
    struct Record {
        bool canInitialize = true;
        bool composes = true;
        QRgb colour = qRgb(0, 0, 0);
        int initializations = 0;
        unsigned lastTexture = 0;
        QSize lastSize;
        std::shared_ptr<const DesktopScene> lastScene;
    };
    explicit FakeSceneCompositor(std::shared_ptr<Record> record) : record_(std::move(record)) {}

    bool initialize() override {
        ++record_->initializations;
        return record_->canInitialize;
    }
    bool composeInto(unsigned texture, QSize size,
                     const std::shared_ptr<const DesktopScene>& scene) override {
        record_->lastTexture = texture;
        record_->lastSize = size;
        record_->lastScene = scene;
        if (!record_->composes) {
            return false;
        }
        GLint previous = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
        GLuint framebuffer = 0;
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
        glViewport(0, 0, size.width(), size.height());
        glClearColor(qRed(record_->colour) / 255.0f, qGreen(record_->colour) / 255.0f,
                     qBlue(record_->colour) / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previous));
        glDeleteFramebuffers(1, &framebuffer);
        return true;
    }

private:
    std::shared_ptr<Record> record_;
};

class OverlayRendererTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QString error;
        context_ = EglOffscreenContext::create(&error).release();
        if (context_ == nullptr) {
            contextError_ = error.toStdString();
        }
    }
    static void TearDownTestSuite() {
        delete context_;
        context_ = nullptr;
    }

    void SetUp() override {
        if (context_ == nullptr) {
            GTEST_SKIP() << "no offscreen OpenGL context: " << contextError_;
        }
        context_->makeCurrent();
    }

    std::unique_ptr<OverlayRenderer> makeRenderer() {
        auto renderer = std::make_unique<OverlayRenderer>(settings_, [this] { return now_; });
        renderer->initialize();
        return renderer;
    }

    std::string drawCapturingOutput(OverlayRenderer& renderer, const RenderTarget& target) {
        testing::internal::CaptureStdout();
        renderer.draw(target);
        return testing::internal::GetCapturedStdout();
    }

    static EglOffscreenContext* context_;
    static std::string contextError_;
    MemoryUserDefaults defaults_;
    AppState settings_{defaults_};
    double now_ = 100.0;
};

EglOffscreenContext* OverlayRendererTest::context_ = nullptr;
std::string OverlayRendererTest::contextError_;

TEST_F(OverlayRendererTest, StartsPausedWhileTheOverlayIsOffAndFollowsTheSwitch) {
    settings_.isOverlayEnabled = false;
    auto renderer = makeRenderer();
    EXPECT_TRUE(renderer->isPaused());

    OffscreenTarget target({8, 8});
    renderer->handOver().submit(solid({8, 8}, qRgb(10, 20, 30)));
    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()), "") << "a paused frame does nothing";
    EXPECT_TRUE(renderer->handOver().takePending().has_value()) << "and takes no picture";

    settings_.isOverlayEnabled = true;
    EXPECT_FALSE(renderer->isPaused());
    settings_.isOverlayEnabled = false;
    EXPECT_TRUE(renderer->isPaused());
}

TEST_F(OverlayRendererTest, ReportsDrawsOnTheFirstFrameThenEveryFiveSeconds) {
    auto renderer = makeRenderer();
    OffscreenTarget target({8, 8});
    renderer->handOver().submit(solid({8, 8}, qRgb(1, 2, 3)));

    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()),
              "🎨 Draw: 1 calls in last 5s, window visible: false\n");
    for (int i = 0; i < 3; ++i) {
        now_ += 1.0;
        EXPECT_EQ(drawCapturingOutput(*renderer, target.target()), "");
    }
    now_ += 2.0;  // exactly 5 s since the report: not yet
    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()), "");
    renderer->setWindowVisibility([] { return true; });
    now_ += 0.001;
    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()),
              "🎨 Draw: 5 calls in last 5s, window visible: true\n");
}

TEST_F(OverlayRendererTest, WithoutAnyPictureEveryFrameSaysSo) {
    auto renderer = makeRenderer();
    OffscreenTarget target({8, 8});
    drawCapturingOutput(*renderer, target.target());  // the first frame also reports
    now_ += 0.016;
    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()),
              "⚠️ No texture available for drawing!\n");
    now_ += 0.016;
    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()),
              "⚠️ No texture available for drawing!\n");
}

TEST_F(OverlayRendererTest, OnlyTheNewestOfTwoPicturesIsDrawn) {
    auto renderer = makeRenderer();
    OffscreenTarget target({16, 12});
    renderer->handOver().submit(solid({16, 12}, qRgb(200, 0, 0)));
    renderer->handOver().submit(solid({16, 12}, qRgb(0, 0, 200)));
    drawCapturingOutput(*renderer, target.target());

    const QImage out = target.read();
    EXPECT_EQ(out.pixel(5, 5), qRgb(0, 0, 200));
    EXPECT_EQ(renderer->handOver().droppedCount(), 1);
    EXPECT_EQ(renderer->textures()->persistentAllocations(), 1) << "the older one was not copied";
}

TEST_F(OverlayRendererTest, KeepsDrawingTheLastPictureUntilANewOneArrives) {
    auto renderer = makeRenderer();
    OffscreenTarget target({16, 12});
    renderer->handOver().submit(solid({16, 12}, qRgb(0, 120, 0)));
    drawCapturingOutput(*renderer, target.target());
    for (int frame = 0; frame < 3; ++frame) {
        now_ += 1.0 / 60;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        EXPECT_EQ(drawCapturingOutput(*renderer, target.target()), "");
        EXPECT_EQ(target.read().pixel(3, 3), qRgb(0, 120, 0));
    }
}

TEST_F(OverlayRendererTest, BackupIsReusedWhileTheSizeStaysAndReplacedWhenItChanges) {
    auto renderer = makeRenderer();
    OffscreenTarget target({16, 12});
    const PictureTextures& textures = *renderer->textures();

    renderer->handOver().submit(solid({16, 12}, qRgb(1, 1, 1)));
    drawCapturingOutput(*renderer, target.target());
    const unsigned firstBackup = textures.persistent();
    renderer->handOver().submit(solid({16, 12}, qRgb(2, 2, 2)));
    drawCapturingOutput(*renderer, target.target());
    EXPECT_EQ(textures.persistentAllocations(), 1);
    EXPECT_EQ(textures.persistent(), firstBackup);

    renderer->handOver().submit(solid({20, 10}, qRgb(3, 3, 3)));
    drawCapturingOutput(*renderer, target.target());
    EXPECT_EQ(textures.persistentAllocations(), 2);
    EXPECT_EQ(textures.persistentSize(), QSize(20, 10));
}

TEST_F(OverlayRendererTest, FallsBackToTheBackupWhenThePictureIsWithdrawn) {
    auto renderer = makeRenderer();
    OffscreenTarget target({16, 12});
    renderer->handOver().submit(solid({16, 12}, qRgb(90, 60, 30)));
    drawCapturingOutput(*renderer, target.target());

    renderer->handOver().submit(QImage());
    now_ += 0.016;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()),
              "🔄 Using persistent texture backup\n");
    EXPECT_EQ(target.read().pixel(8, 6), qRgb(90, 60, 30)) << "the backup holds the picture";

    renderer->handOver().submit(solid({16, 12}, qRgb(5, 5, 5)));
    now_ += 0.016;
    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()), "");
}

TEST_F(OverlayRendererTest, ComposesASceneIntoTheDisplayPictureAndBacksItUp) {
    auto record = std::make_shared<FakeSceneCompositor::Record>();
    record->colour = qRgb(30, 160, 90);
    auto renderer = std::make_unique<OverlayRenderer>(settings_, [this] { return now_; });
    renderer->setSceneCompositor(std::make_unique<FakeSceneCompositor>(record));
    EXPECT_FALSE(renderer->canComposeScenes()) << "not before its context is there";
    renderer->initialize();
    EXPECT_TRUE(renderer->canComposeScenes());
    EXPECT_EQ(record->initializations, 1);

    OffscreenTarget target({16, 12});
    const auto scene = sceneOf({16, 12});
    renderer->handOver().submit(DesktopPicture{QImage(), scene});
    drawCapturingOutput(*renderer, target.target());
    EXPECT_EQ(record->lastScene, scene);
    EXPECT_EQ(record->lastTexture, renderer->textures()->display());
    EXPECT_EQ(record->lastSize, QSize(16, 12));
    EXPECT_EQ(renderer->textures()->displaySize(), QSize(16, 12));
    EXPECT_EQ(target.read().pixel(8, 6), record->colour);

    // The backup holds the composed picture too.
    renderer->handOver().submit(QImage());
    now_ += 0.016;
    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()),
              "🔄 Using persistent texture backup\n");
    EXPECT_EQ(target.read().pixel(8, 6), record->colour);
}

TEST_F(OverlayRendererTest, ShowsNoSceneWithoutAWorkingCompositor) {
    auto renderer = makeRenderer();
    EXPECT_FALSE(renderer->canComposeScenes());
    OffscreenTarget target({8, 8});
    renderer->handOver().submit(DesktopPicture{QImage(), sceneOf({8, 8})});
    drawCapturingOutput(*renderer, target.target());  // the first frame reports
    now_ += 0.016;
    renderer->handOver().submit(DesktopPicture{QImage(), sceneOf({8, 8})});
    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()),
              "⚠️ No texture available for drawing!\n");

    auto record = std::make_shared<FakeSceneCompositor::Record>();
    record->canInitialize = false;
    renderer->setSceneCompositor(std::make_unique<FakeSceneCompositor>(record));
    EXPECT_EQ(record->initializations, 1) << "set after initialize(): made ready at once";
    EXPECT_FALSE(renderer->canComposeScenes());
    renderer->handOver().submit(DesktopPicture{QImage(), sceneOf({8, 8})});
    now_ += 0.016;
    drawCapturingOutput(*renderer, target.target());
    EXPECT_EQ(record->lastScene, nullptr) << "a compositor that failed is never asked";
}

TEST_F(OverlayRendererTest, AFailedCompositionFallsBackToTheBackup) {
    auto record = std::make_shared<FakeSceneCompositor::Record>();
    auto renderer = makeRenderer();
    renderer->setSceneCompositor(std::make_unique<FakeSceneCompositor>(record));
    OffscreenTarget target({16, 12});
    renderer->handOver().submit(solid({16, 12}, qRgb(200, 10, 10)));
    drawCapturingOutput(*renderer, target.target());

    record->composes = false;
    renderer->handOver().submit(DesktopPicture{QImage(), sceneOf({16, 12})});
    now_ += 0.016;
    EXPECT_EQ(drawCapturingOutput(*renderer, target.target()),
              "🔄 Using persistent texture backup\n");
    EXPECT_EQ(target.read().pixel(8, 6), qRgb(200, 10, 10)) << "the last picture shown";
}

TEST_F(OverlayRendererTest, SkipsFramesItCannotDrawWithTheirLine) {
    auto renderer = makeRenderer();
    renderer->handOver().submit(solid({8, 8}, qRgb(1, 2, 3)));
    drawCapturingOutput(*renderer, RenderTarget{});  // first frame reports
    now_ += 0.016;
    EXPECT_EQ(drawCapturingOutput(*renderer, RenderTarget{0, 0, 0}),
              "⚠️ No drawable available!\n");

    GLuint incomplete = 0;
    glGenFramebuffers(1, &incomplete);  // no colour attachment: cannot be drawn into
    now_ += 0.016;
    EXPECT_EQ(drawCapturingOutput(*renderer, RenderTarget{incomplete, 8, 8}),
              "⚠️ No render pass descriptor!\n");
    glDeleteFramebuffers(1, &incomplete);
}

TEST_F(OverlayRendererTest, GazeTrackingSwitchesFocusModeOnButNotOff) {
    auto renderer = makeRenderer();
    testing::internal::CaptureStdout();
    settings_.isGazeTrackingEnabled = true;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Gaze tracking enabled - Focus mode auto-activated\n");
    EXPECT_TRUE(settings_.isFocusEnabled());

    testing::internal::CaptureStdout();
    settings_.isGazeTrackingEnabled = false;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(settings_.isFocusEnabled());
}

TEST_F(OverlayRendererTest, ClickExplosionIsBornNowAndDrawnUntilItsEnd) {
    auto renderer = makeRenderer();
    renderer->showExplosion(0.25f, 0.75f);
    ASSERT_TRUE(renderer->rendererState().currentExplosion.has_value());
    EXPECT_EQ(*renderer->rendererState().currentExplosion, (Explosion{0.25f, 0.75f, 100.0}));

    OffscreenTarget target({8, 8});
    renderer->handOver().submit(solid({8, 8}, qRgb(1, 2, 3)));
    now_ = 100.5;
    drawCapturingOutput(*renderer, target.target());
    EXPECT_TRUE(renderer->rendererState().currentExplosion.has_value());
    now_ = 100.625;  // exact in single precision, past the 0.6 s lifetime
    drawCapturingOutput(*renderer, target.target());
    EXPECT_FALSE(renderer->rendererState().currentExplosion.has_value());
}

TEST_F(OverlayRendererTest, TrackersStartWithTheRendererFeedEveryFrameAndStopWithIt) {
    Point pointer{200, 450};
    MouseTracker mouse(
        settings_,
        [] {
            return std::optional(Rect{0, 0, 800, 600});
        },
        [&pointer] { return std::optional(pointer); });
    const WindowRecord editor{.windowId = 7, .ownerPid = 42, .bounds = {80, 60, 400, 300}};
    WindowFocusTracker window(
        settings_, [&] { return std::vector<WindowRecord>{editor}; },
        [] {
            return std::optional(Rect{0, 0, 800, 600});
        },
        1, std::make_unique<ManualRepeatingTimer>());
    settings_.isSmartFocusEnabled = true;
    settings_.isExplosionEnabled = true;
    auto renderer = makeRenderer();
    renderer->startTrackers(&mouse, &window);
    EXPECT_TRUE(mouse.isTracking());
    EXPECT_TRUE(window.isTracking());

    // A click explodes in the renderer, on its clock.
    mouse.leftButtonPressed();
    ASSERT_TRUE(renderer->rendererState().currentExplosion.has_value());
    EXPECT_EQ(*renderer->rendererState().currentExplosion, (Explosion{0.25f, 0.75f, 100.0}));

    // Each frame reads the trackers' latest values.
    mouse.pointerMoved(400, 150);
    OffscreenTarget target({8, 8});
    renderer->handOver().submit(solid({8, 8}, qRgb(1, 2, 3)));
    renderer->draw(target.target());
    EXPECT_EQ(renderer->trackerReadings().mouse, (FrameInputs::Mouse{0.5f, 0.25f}));
    const FrameInputs::Window seen = renderer->trackerReadings().window;
    EXPECT_TRUE(seen.hasActiveWindow);
    EXPECT_DOUBLE_EQ(seen.activeWindowBounds.x, 0.1);
    EXPECT_DOUBLE_EQ(seen.activeWindowBounds.y, 0.1);
    EXPECT_DOUBLE_EQ(seen.activeWindowBounds.width, 0.5);
    EXPECT_DOUBLE_EQ(seen.activeWindowBounds.height, 0.5);

    renderer.reset();
    EXPECT_FALSE(mouse.isTracking());
    EXPECT_FALSE(window.isTracking());
    // Nothing may reach the renderer that is gone.
    mouse.leftButtonPressed();
}

TEST_F(OverlayRendererTest, RendererWithoutContextDrawsNothingAndSaysWhy) {
    // A renderer initialised without a current context creates no GPU objects.
    context_->makeCurrent();
    auto renderer = std::make_unique<OverlayRenderer>(settings_, [this] { return now_; });
    renderer->handOver().submit(solid({8, 8}, qRgb(1, 2, 3)));  // never initialised
    drawCapturingOutput(*renderer, RenderTarget{0, 8, 8});
    now_ += 1;
    EXPECT_EQ(drawCapturingOutput(*renderer, RenderTarget{0, 8, 8}),
              "⚠️ No texture available for drawing!\n");
}

}  // namespace
}  // namespace glimmora
