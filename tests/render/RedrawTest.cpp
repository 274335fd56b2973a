#include <gtest/gtest.h>

#include <QImage>
#include <functional>
#include <memory>
#include <string>

#include "render/OffscreenTarget.h"
#include "render/OverlayRenderer.h"
#include "render/RedrawPolicy.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/OffscreenGlTest.h"
#include "support/PixelTestSupport.h"
#include "trackers/MouseTracker.h"

namespace glimmora {
namespace {

// Dimmer and spotlight ("Dim") on: a look that does not move by itself.
FrameParameters staticLook() {
    FrameParameters f;
    f.retro.opacity = 1;
    f.screenDimmer = {-0.3f, 1};
    f.cursorSpotlight = {0.5f, 0.5f, 0.2f, 0.03f, 0.6f, 1, 0, 0};
    return f;
}

TEST(RedrawPolicyTest, TellsMovingLooksAndChangedLooksFromStillOnes) {
    struct Row {
        const char* what;
        std::function<void(FrameParameters&)> change;
        bool animates;
        bool looksAlike;  // with the static look
    };
    const Row rows[] = {
        {"only the time", [](auto& f) { f.time.time = f.smartFocus.time = 9; }, false, true},
        {"spotlight moves", [](auto& f) { f.cursorSpotlight.centerX = 0.6f; }, false, false},
        {"band moves while off", [](auto& f) { f.focusBand.centerY = 0.1f; }, false, true},
        {"dimmer setting", [](auto& f) { f.screenDimmer.brightness = -0.4f; }, false, false},
        {"ruler switched on", [](auto& f) { f.readingRuler.enabled = 1; }, false, false},
        {"grain", [](auto& f) { f.retro.noise = 0.1f; }, true, false},
        {"flicker", [](auto& f) { f.retro.flicker = 0.1f; }, true, false},
        {"spotlight noise", [](auto& f) { f.cursorSpotlight.effectMode = 3; }, true, false},
        {"band glitch",
         [](auto& f) {
             f.focusBand.active = 1;
             f.focusEffect.effect = 1;
             f.focusEffect.glitchAmount = 0.5f;
         },
         true, false},
        {"breath pacer", [](auto& f) { f.breathPacer.enabled = 1; }, true, false},
        {"explosion", [](auto& f) { f.explosion.active = 1; }, true, false},
    };
    const FrameParameters base = staticLook();
    EXPECT_FALSE(RedrawPolicy::animates(base));
    for (const Row& row : rows) {
        FrameParameters changed = base;
        row.change(changed);
        EXPECT_EQ(RedrawPolicy::animates(changed), row.animates) << row.what;
        EXPECT_EQ(RedrawPolicy::looksAlike(changed, base), row.looksAlike) << row.what;
    }
}

class RedrawTest : public test::OffscreenGlTest {
protected:
    void SetUp() override {
        OffscreenGlTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        target_ = std::make_unique<OffscreenTarget>(QSize(64, 48));
        settings_.isScreenDimmerEnabled = true;
        settings_.isExplosionEnabled = true;
        settings_.isCursorSpotlightEnabled = true;
        renderer_ = std::make_unique<OverlayRenderer>(settings_, [this] { return now_; });
        renderer_->initialize();
        renderer_->startTrackers(&mouse_, nullptr);
        renderer_->setWakeUp([this] { ++wakeUps_; });
        renderer_->handOver().setWakeUp([this] { ++wakeUps_; });
    }

    /// One second of 60 Hz frame ticks; each draws only when asked to. Returns the draws.
    int runOneSecond() {
        int draws = 0;
        for (int tick = 0; tick < 60; ++tick) {
            now_ += 1.0 / 60;
            if (renderer_->needsFrame()) {
                renderer_->draw(target_->target());
                ++draws;
            }
        }
        return draws;
    }

    MemoryUserDefaults defaults_;
    AppState settings_{defaults_};
    double now_ = 50.0;
    int wakeUps_ = 0;
    Point pointer_{400, 300};
    MouseTracker mouse_{settings_,
                        [] {
                            return std::optional(Rect{0, 0, 800, 600});
                        },
                        [this] { return std::optional(pointer_); }};
    std::unique_ptr<OverlayRenderer> renderer_;
    std::unique_ptr<OffscreenTarget> target_;
};

TEST_F(RedrawTest, AStillDesktopDrawsNothingNewForASecondYetAChangeShowsAtTheNextTick) {
    struct Row {
        const char* what;
        std::function<void()> change;
    };
    const Row rows[] = {
        {"new picture",
         [this] {
             renderer_->handOver().submit(pixeltest::solidPicture({64, 48}, {0, 200, 0}));
         }},
        {"pointer moves the spotlight", [this] { mouse_.pointerMoved(100, 300); }},
        {"setting", [this] { settings_.screenBrightness = -0.6f; }},
        {"click", [this] { mouse_.leftButtonPressed(); }},
    };
    for (const Row& row : rows) {
        renderer_->handOver().submit(pixeltest::solidPicture({64, 48}, {200, 200, 200}));
        runOneSecond();  // settles: a click's explosion burns out within it
        EXPECT_EQ(runOneSecond(), 0) << row.what;
        EXPECT_FALSE(renderer_->needsTicks()) << row.what << ": the loop may rest";
        const QImage before = target_->read();
        wakeUps_ = 0;
        row.change();
        EXPECT_GT(wakeUps_, 0) << row.what << " must wake the resting loop";
        now_ += 1.0 / 60;
        ASSERT_TRUE(renderer_->needsFrame()) << row.what;
        renderer_->draw(target_->target());
        EXPECT_NE(target_->read(), before) << row.what;
    }
    renderer_->setPaused(true);
    EXPECT_FALSE(renderer_->needsFrame());
    renderer_->setPaused(false);
    EXPECT_TRUE(renderer_->needsFrame()) << "the first frame back draws";
}

TEST_F(RedrawTest, AnEffectThatMovesWithTimeKeepsEveryTick) {
    renderer_->handOver().submit(pixeltest::solidPicture({64, 48}, {200, 200, 200}));
    settings_.isNoiseEnabled = true;
    EXPECT_EQ(runOneSecond(), 60);
    EXPECT_TRUE(renderer_->needsTicks());
}

}  // namespace
}  // namespace glimmora
