// The gaze tracker driven through a camera double: the lines and state of starts, failures and
// stops, what frames publish (and what stale ones do not), and calibration from begin to fit.

#include "gaze/GazeTracker.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/LogCapture.h"

namespace glimmora {
namespace {

using Lines = std::vector<std::string>;

class FakeCameraService final : public GazeCameraService {
public:
    Authorization authorization() override { return access; }
    void start(GazeCameraEvents events) override { runs.push_back(std::move(events)); }
    void stop() override { ++stops; }

    Authorization access = Authorization::Authorized;
    std::vector<GazeCameraEvents> runs;
    int stops = 0;
};

// Both eyes 20 × 10 px with the pupil where `raw` puts it (raw y counts upward).
FaceEyes eyesFor(RawGaze raw) {
    EyeLandmarks eye{{{0, 0}, {20, 0}, {20, 10}, {0, 10}}, Point{raw.x * 20, (1 - raw.y) * 10}};
    return FaceEyes{eye, eye};
}

class GazeTrackerTest : public testing::Test {
protected:
    void pump() {
        for (std::size_t i = 0; i < posted.size(); ++i) {
            posted[i]();
        }
        posted.clear();
    }
    // Starts and delivers the first frame of a run, leaving the lines of the start out.
    GazeCameraEvents& running() {
        tracker.startTracking();
        GazeCameraEvents& run = camera.runs.back();
        run.opened("Cam");
        run.running();
        pump();
        log.clear();
        return run;
    }

    test::LogCapture log;
    FakeCameraService camera;
    std::vector<std::function<void()>> posted;
    double now = 10;
    std::vector<std::optional<GazeCalibration>> kept;
    GazeTracker tracker{camera,
                        {.clock = [this] { return now; },
                         .display =
                             [] {
                                 return DisplaySize{1000, 800};
                             },
                         .postToMainThread = [this](auto task) { posted.push_back(task); },
                         .calibrationChanged = [this](auto c) { kept.push_back(c); }}};
};

TEST_F(GazeTrackerTest, StartLogsEachStepAndTracksFromTheFirstFrame) {
    tracker.startTracking();
    ASSERT_EQ(camera.runs.size(), 1u);
    camera.runs[0].opened("Integrated Camera");
    pump();
    EXPECT_FALSE(tracker.isTracking());
    camera.runs[0].running();
    pump();
    EXPECT_TRUE(tracker.isTracking());
    tracker.startTracking();
    EXPECT_EQ(camera.runs.size(), 1u);
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
}

TEST_F(GazeTrackerTest, FailuresEndInTheirLinesAndAnIdleTracker) {
    const struct {
        const char* name;
        bool denied;
        bool opens;
        Lines tail;  // the last lines logged
    } cases[] = {
        {"denied", true, false, {std::string(kCameraDeniedLine)}},
        {"no camera", false, false, {"GazeTracker: No front camera available"}},
        {"lost before the first frame",
         false,
         true,
         {"GazeTracker: Starting capture session...", "lost",
          "GazeTracker: Capture session running: false"}},
    };
    for (const auto& c : cases) {
        camera.access = c.denied ? GazeCameraService::Authorization::Denied
                                 : GazeCameraService::Authorization::Authorized;
        const std::size_t runs = camera.runs.size();
        tracker.startTracking();
        ASSERT_EQ(camera.runs.size(), runs + (c.denied ? 0 : 1)) << c.name;
        if (!c.denied) {
            if (c.opens) {
                camera.runs.back().opened("Cam");
            }
            camera.runs.back().failed(c.opens ? "lost" : "GazeTracker: No front camera available");
        }
        pump();
        const Lines lines = log.lines();
        ASSERT_GE(lines.size(), c.tail.size()) << c.name;
        EXPECT_EQ(Lines(lines.end() - static_cast<long>(c.tail.size()), lines.end()), c.tail)
            << c.name;
        EXPECT_FALSE(tracker.isTracking()) << c.name;
        EXPECT_EQ(tracker.hasPermission(), !c.denied) << c.name;
        log.clear();
    }
}

TEST_F(GazeTrackerTest, FramesPublishUntilStoppedAndARestartStartsFromCleanFilters) {
    tracker.stopTracking();
    EXPECT_EQ(log.lines(), Lines{"GazeTracker: Stopped"});
    GazeCameraEvents run = running();
    run.frame(eyesFor({0.5, 0.5}));
    pump();
    EXPECT_TRUE(tracker.faceDetected());
    EXPECT_EQ(tracker.gazePoint(), (Point{500, 400}));
    FaceEyes oneEye = eyesFor({0.6, 0.6});
    oneEye.left.outline.clear();
    run.frame(oneEye);  // a face without usable eyes changes nothing
    pump();
    EXPECT_TRUE(tracker.faceDetected());
    EXPECT_EQ(tracker.gazePoint(), (Point{500, 400}));
    run.frame(std::nullopt);
    pump();
    EXPECT_FALSE(tracker.faceDetected());

    run.frame(eyesFor({0.6, 0.6}));  // posted before the stop, run after it
    tracker.stopTracking();
    pump();
    EXPECT_FALSE(tracker.faceDetected());
    EXPECT_FALSE(tracker.isTracking());
    EXPECT_EQ(tracker.gazePoint(), (Point{500, 400}));

    now += 0.01;  // far too soon for the jump below, had the filters not been reset
    running().frame(eyesFor({0.6, 0.6}));
    pump();
    EXPECT_NEAR(tracker.gazePoint().x, 140, 1e-9);
    EXPECT_NEAR(tracker.gazePoint().y, 720, 1e-9);
    EXPECT_FLOAT_EQ(tracker.normalizedGazeY(), 0.9f);
}

TEST_F(GazeTrackerTest, CalibrationRecordsNineTargetsAndKeepsOnlyATrustworthyFit) {
    GazeCameraEvents run = running();
    // A user whose raw gaze moves against the screen: raw = 0.5 - 0.2 × (target - 0.5).
    const auto look = [&](const CalibrationPoint& target, double spread) {
        for (int i = 0; i < 10; ++i, now += 0.1) {
            run.frame(eyesFor({0.5 - spread * (target.screenPosition.x - 0.5),
                               0.5 + spread * (target.screenPosition.y - 0.5)}));
            pump();
        }
    };
    for (double spread : {0.2, 0.0}) {
        tracker.beginCalibration(now);
        EXPECT_FALSE(tracker.recordCalibrationTarget(now));  // no samples yet
        for (int step = 0; step < 9; ++step) {
            look(tracker.calibrationPoints()[static_cast<std::size_t>(step)], spread);
            ASSERT_TRUE(tracker.recordCalibrationTarget(now)) << step;
        }
        EXPECT_FALSE(tracker.isCalibrating());
        EXPECT_EQ(tracker.calibrationStep(), 9);
    }
    // Only the first session fitted; the second, with the eyes never moving, kept it.
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(tracker.isCalibrated());
    EXPECT_EQ(tracker.calibration(), *kept[0]);
    EXPECT_NEAR(tracker.calibration().slopeX, -1 / (0.2 * 1.2), 1e-9);
    EXPECT_FALSE(tracker.faceDetected());  // calibrating frames publish no point
    EXPECT_EQ(log.count("GazeTracker: Too few gaze samples for calibration point 1 - keep "
                        "looking at the dot and press SPACE again"),
              2);

    tracker.beginCalibration(now);
    look(tracker.calibrationPoints()[0], 0.2);
    tracker.resetCalibration();
    tracker.cancelCalibration();  // the reset, not the fit, is what a cancel returns to
    EXPECT_FALSE(tracker.isCalibrating());
    EXPECT_EQ(tracker.calibrationStep(), 0);
    EXPECT_FALSE(tracker.isCalibrated());
    EXPECT_EQ(tracker.calibration(), GazeCalibration{});
    EXPECT_EQ(kept.back(), std::nullopt);
}

TEST_F(GazeTrackerTest, ASavedCalibrationIsUsedOnlyWhenAFitCouldHaveGivenIt) {
    for (const GazeCalibration saved : {GazeCalibration{-3, 2, -2.5, 1.8}, GazeCalibration{}}) {
        const GazeTracker other(camera, {.savedCalibration = saved});
        EXPECT_EQ(other.isCalibrated(), saved.slopeX < 0);
        EXPECT_EQ(other.calibration(), other.isCalibrated() ? saved : GazeCalibration{});
    }
    EXPECT_EQ(log.count("GazeTracker: Ignoring the saved calibration - it does not map gaze onto "
                        "the screen; calibrate again"),
              1);
}

}  // namespace
}  // namespace glimmora
