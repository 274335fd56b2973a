// The calibration keys driving a real tracker fed eye landmarks, on the offscreen platform: the
// title page, a refused record, nine recorded targets ending in a shown-then-closed screen, and
// Escape cancelling through the application's key events.

#include "app/CalibrationWindowController.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTest>

#include "gaze/GazeTracker.h"
#include "gaze/views/CalibrationWindow.h"
#include "gaze/views/ViewTestImage.h"
#include "platform/x11/windows/X11StackingKeeper.h"

namespace glimmora {
namespace {

class OneRunCamera final : public GazeCameraService {
public:
    Authorization authorization() override { return Authorization::Authorized; }
    void start(GazeCameraEvents events) override { run = std::move(events); }
    void stop() override {}
    GazeCameraEvents run;
};

class CalibrationWindowControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ensureGuiApplication(); }
    void SetUp() override {
        tracker.startTracking();
        camera.run.opened("Cam");
        camera.run.running();
    }
    // Looks at the current target for a second: raw gaze moving against the screen.
    void lookAtTarget() {
        const Point target =
            tracker.calibrationPoints()[static_cast<std::size_t>(tracker.calibrationStep())]
                .screenPosition;
        const Point pupil{20 * (0.5 - 0.2 * (target.x - 0.5)), 10 * (0.5 - 0.2 * (target.y - 0.5))};
        const EyeLandmarks eye{{{0, 0}, {20, 0}, {20, 10}, {0, 10}}, pupil};
        for (int i = 0; i < 10; ++i, now += 0.1) {
            camera.run.frame(FaceEyes{eye, eye});
        }
    }
    void press(Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(controller.window(), &event);
    }

    OneRunCamera camera;
    double now = 10;
    GazeTracker tracker{camera,
                        {.clock = [this] { return now; },
                         .display =
                             [] {
                                 return DisplaySize{1000, 800};
                             },
                         .postToMainThread = [](auto task) { task(); },
                         .savedCalibration = std::nullopt,
                         .calibrationChanged = {}}};
    X11StackingKeeper keeper{nullptr};
    CalibrationWindowController controller{tracker, keeper, nullptr, [this] { return now; }};
};

TEST_F(CalibrationWindowControllerTest, SpaceWalksThroughTheTargetsAndTheScreenClosesAfterwards) {
    controller.open();
    ASSERT_TRUE(controller.isOpen());
    EXPECT_TRUE(controller.window()->showsInstructions());
    EXPECT_FALSE(controller.window()->isPulsing());
    press(Qt::Key_Space);
    EXPECT_FALSE(controller.window()->showsInstructions());
    EXPECT_TRUE(controller.window()->isPulsing());
    press(Qt::Key_Space);  // nothing seen yet: refused, the same target stays
    EXPECT_EQ(controller.window()->step(), 0);
    for (int step = 0; step < 9; ++step) {
        lookAtTarget();
        press(Qt::Key_Space);
        ASSERT_EQ(controller.window()->step(), step + 1);
    }
    EXPECT_TRUE(tracker.isCalibrated());
    EXPECT_FALSE(controller.window()->isPulsing());
    QTest::qWait(CalibrationWindowController::kFinishedMilliseconds / 2);
    EXPECT_TRUE(controller.isOpen());  // the finished screen stays a moment
    QTest::qWait(CalibrationWindowController::kFinishedMilliseconds);
    EXPECT_FALSE(controller.isOpen());
}

TEST_F(CalibrationWindowControllerTest, EscapeCancelsAndCloses) {
    controller.open();
    press(Qt::Key_Space);
    lookAtTarget();
    press(Qt::Key_Space);
    ASSERT_EQ(tracker.calibrationStep(), 1);
    press(Qt::Key_Escape);
    EXPECT_FALSE(controller.isOpen());
    EXPECT_FALSE(tracker.isCalibrating());
    EXPECT_EQ(tracker.calibrationStep(), 0);

    // Without a running camera no press can record: the screen gives way at the first one.
    tracker.stopTracking();
    controller.open();
    press(Qt::Key_Space);
    press(Qt::Key_Space);
    EXPECT_FALSE(controller.isOpen());
}

}  // namespace
}  // namespace glimmora
