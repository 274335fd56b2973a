// The gaze tracker fed eye landmarks by hand: starts, stops, frames, stale frames, calibration.

#include "gaze/GazeTracker.h"

#include <gtest/gtest.h>

#include "support/LogCapture.h"

namespace glimmora {
namespace {

using Lines = std::vector<std::string>;

// Both eyes 20 × 10 px with the pupil where `raw` puts it (raw y counts upward).
FaceEyes eyesFor(RawGaze raw) {
    EyeLandmarks eye{{{0, 0}, {20, 0}, {20, 10}, {0, 10}}, Point{raw.x * 20, (1 - raw.y) * 10}};
    return FaceEyes{eye, eye};
}

// The camera side is the fixture itself: it keeps each run's events for the test to call.
class GazeTrackerTest : public testing::Test, public GazeCameraService {
protected:
    Authorization authorization() override { return access; }
    void start(GazeCameraEvents events) override { runs.push_back(std::move(events)); }
    void stop() override {}

    void pump() {
        for (const auto& task : std::exchange(posted, {})) {
            task();
        }
    }
    GazeCameraEvents running() {
        tracker.startTracking();
        runs.back().opened("Cam");
        runs.back().running();
        pump();
        return runs.back();
    }
    void deliver(const GazeCameraEvents& run, std::optional<FaceEyes> eyes) {
        run.frame(std::move(eyes));
        pump();
    }

    test::LogCapture log;
    Authorization access = Authorization::Authorized;
    std::vector<GazeCameraEvents> runs;
    std::vector<std::function<void()>> posted;
    double now = 10;
    DisplaySize display{1000, 800};
    std::vector<std::optional<GazeCalibration>> kept;
    GazeTracker tracker{*this,
                        {.clock = [this] { return now; },
                         .display = [this] { return std::optional(display); },
                         .postToMainThread = [this](auto task) { posted.push_back(task); },
                         .calibrationChanged = [this](auto c) { kept.push_back(c); }}};
};

TEST_F(GazeTrackerTest, StartLogsEachStepAndTracksFromTheFirstFrameOrEndsIdleWithWhyNot) {
    tracker.startTracking();
    runs[0].opened("Integrated Camera");
    pump();
    EXPECT_FALSE(tracker.isTracking());
    runs[0].running();
    pump();
    tracker.startTracking();  // tracking by now
    EXPECT_EQ(
        log.lines(),
        (Lines{"GazeTracker: startTracking() called",
               "GazeTracker: Current camera auth status: 3 (0=notDetermined, 1=restricted, "
               "2=denied, 3=authorized)",
               "GazeTracker: Already authorized, starting capture...",
               "GazeTracker: Setting up capture session...",
               "GazeTracker: Found front camera: Integrated Camera",
               "GazeTracker: Added camera input", "GazeTracker: Added video output",
               "GazeTracker: Video connection configured",
               "GazeTracker: Starting capture session...",
               "GazeTracker: Capture session running: true", "GazeTracker: Already tracking"}));

    EXPECT_TRUE(tracker.hasPermission());
    runs[0].failed("lost");  // runs that end by themselves: tracking, then before and after opening
    pump();
    for (const bool opens : {false, true}) {
        tracker.startTracking();
        if (opens) {
            runs.back().opened("Cam");
        }
        runs.back().failed("why");
        pump();
        EXPECT_EQ(log.lines().back(),
                  opens ? "GazeTracker: Capture session running: false" : "why");
    }
    access = Authorization::Denied;
    tracker.startTracking();
    EXPECT_EQ(log.lines().back(), kCameraDeniedLine);
    EXPECT_EQ(runs.size(), 3u);
    EXPECT_FALSE(tracker.hasPermission());
}

TEST_F(GazeTrackerTest, FramesPublishUntilStoppedAndARestartStartsFromCleanFilters) {
    tracker.stopTracking();
    EXPECT_EQ(log.lines(), Lines{"GazeTracker: Stopped"});
    const GazeCameraEvents run = running();
    deliver(run, eyesFor({0.5, 0.5}));
    EXPECT_TRUE(tracker.faceDetected());
    EXPECT_EQ(tracker.gazePoint(), (Point{500, 400}));
    FaceEyes oneEye = eyesFor({0.6, 0.6});
    oneEye.left.outline.clear();
    deliver(run, oneEye);  // a face without usable eyes changes nothing
    EXPECT_TRUE(tracker.faceDetected());
    deliver(run, std::nullopt);
    EXPECT_FALSE(tracker.faceDetected());

    run.frame(eyesFor({0.6, 0.6}));  // posted before the stop, run after it
    tracker.stopTracking();
    pump();
    EXPECT_FALSE(tracker.faceDetected());

    now += 0.01;  // far too soon for this jump, had the filters not been reset
    deliver(running(), eyesFor({0.6, 0.6}));
    EXPECT_NEAR(tracker.gazePoint().x, 140, 1e-9);
    EXPECT_FLOAT_EQ(tracker.normalizedGazeY(), 0.9f);
}

TEST_F(GazeTrackerTest, CalibrationRecordsNineTargetsAndKeepsOnlyATrustworthyFit) {
    const GazeCameraEvents run = running();
    // A user whose raw gaze moves against the screen: raw = 0.5 - spread × (target - 0.5).
    const auto look = [&](Point target, double spread) {
        for (int i = 0; i < 10; ++i, now += 0.1) {
            deliver(run,
                    eyesFor({0.5 - spread * (target.x - 0.5), 0.5 + spread * (target.y - 0.5)}));
        }
    };
    for (double spread : {0.2, 0.0}) {
        tracker.beginCalibration(now);
        EXPECT_FALSE(tracker.recordCalibrationTarget(now));  // no samples yet
        for (std::size_t step = 0; step < 9; ++step) {
            look(tracker.calibrationPoints()[step].screenPosition, spread);
            ASSERT_TRUE(tracker.recordCalibrationTarget(now)) << step;
        }
        EXPECT_FALSE(tracker.isCalibrating());
    }
    // Only the first session fitted; the second, with the eyes never moving, kept it.
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(tracker.isCalibrated());
    EXPECT_EQ(tracker.calibration(), *kept[0]);
    EXPECT_NEAR(tracker.calibration().slopeX, -1 / (0.2 * 1.2), 1e-9);
    EXPECT_FALSE(tracker.faceDetected());  // calibrating frames publish no point

    tracker.beginCalibration(now);
    tracker.resetCalibration();
    tracker.cancelCalibration();  // the reset, not the fit, is what a cancel returns to
    EXPECT_FALSE(tracker.isCalibrating() || tracker.isCalibrated());
    EXPECT_EQ(tracker.calibrationStep(), 0);
    EXPECT_EQ(kept.back(), std::nullopt);

    // A kept calibration is used when a fit could have given it, and refused with a line if not.
    for (const GazeCalibration saved : {GazeCalibration{-3, 2, -2.5, 1.8}, GazeCalibration{}}) {
        const GazeTracker other(*this, {.savedCalibration = saved});
        EXPECT_EQ(other.isCalibrated(), saved.slopeX < 0);
        EXPECT_EQ(other.calibration(), other.isCalibrated() ? saved : GazeCalibration{});
    }
    EXPECT_TRUE(log.lines().back().starts_with("GazeTracker: Ignoring the saved calibration"));
}

}  // namespace
}  // namespace glimmora
