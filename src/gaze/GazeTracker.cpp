#include "gaze/GazeTracker.h"

#include <cmath>
#include <string>
#include <utility>

#include "core/Log.h"

namespace glimmora {
namespace {

// What a fit would never have produced: a non-finite number or a slope that does not turn the
// eyes' directions into the screen's (see fitGazeCalibration).
bool isUsable(const GazeCalibration& c) {
    return std::isfinite(c.interceptX) && std::isfinite(c.interceptY) && c.slopeX < 0 &&
           c.slopeY < 0 && std::isfinite(c.slopeX) && std::isfinite(c.slopeY);
}

}  // namespace

GazeTracker::GazeTracker(GazeCameraService& camera, Environment environment)
    : camera_(camera),
      environment_(std::move(environment)),
      self_(std::make_shared<GazeTracker*>(this)),
      calibrationPoints_(calibrationTargets()) {
    if (environment_.savedCalibration && !isUsable(*environment_.savedCalibration)) {
        logLine(
            "GazeTracker: Ignoring the saved calibration - it does not map gaze onto the screen; "
            "calibrate again");
    } else if (environment_.savedCalibration) {
        calibration_ = *environment_.savedCalibration;
        isCalibrated.set(true);
        estimator_.setCalibration(calibration_);
    }
}

GazeTracker::~GazeTracker() {
    camera_.stop();
}

void GazeTracker::startTracking() {
    if (isTracking()) {
        logLine("GazeTracker: Already tracking");
        return;
    }
    logLine("GazeTracker: startTracking() called");
    const GazeCameraService::Authorization status = camera_.authorization();
    logLine("GazeTracker: Current camera auth status: " + std::to_string(static_cast<int>(status)) +
            " (0=notDetermined, 1=restricted, 2=denied, 3=authorized)");
    const bool authorized = status == GazeCameraService::Authorization::Authorized;
    hasPermission.set(authorized);
    if (!authorized) {
        logLine(kCameraDeniedLine);
        return;
    }
    logLine("GazeTracker: Already authorized, starting capture...");
    logLine("GazeTracker: Setting up capture session...");
    camera_.start(eventsForRun(++currentRun_));
}

void GazeTracker::stopTracking() {
    camera_.stop();
    ++currentRun_;  // whatever the stopped run posted before it ended is stale now
    becomeIdle();
    logLine("GazeTracker: Stopped");
}

GazeCameraEvents GazeTracker::eventsForRun(std::uint64_t run) {
    // Each event becomes one main-thread task that acts only if the tracker still exists and
    // the run is still its current one.
    const std::weak_ptr<GazeTracker*> weak = self_;
    const PostToMainThread post = environment_.postToMainThread;
    const auto deliver = [weak, post, run](auto action) {
        post([weak, run, action = std::move(action)] {
            const std::shared_ptr<GazeTracker*> self = weak.lock();
            if (self && (*self)->currentRun_ == run) {
                action(**self);
            }
        });
    };
    GazeCameraEvents events;
    events.opened = [deliver](std::string name) {
        deliver([name = std::move(name)](GazeTracker& tracker) { tracker.cameraOpened(name); });
    };
    events.running = [deliver] { deliver([](GazeTracker& tracker) { tracker.captureRunning(); }); };
    events.frame = [deliver](std::optional<FaceEyes> eyes) {
        // The eyes become a raw gaze here, on the camera's thread: what crosses is two numbers.
        FrameResult result;
        if (eyes) {
            const std::optional<RawGaze> raw = rawGazeFromEyes(*eyes);
            result.kind = raw ? FrameResult::Kind::Gaze : FrameResult::Kind::NoUsableEyes;
            result.raw = raw.value_or(RawGaze{});
        }
        deliver([result](GazeTracker& tracker) { tracker.frameAnalysed(result); });
    };
    events.failed = [deliver](std::string line) {
        deliver([line = std::move(line)](GazeTracker& tracker) { tracker.runFailed(line); });
    };
    return events;
}

void GazeTracker::cameraOpened(const std::string& name) {
    logLine("GazeTracker: Found front camera: " + name);
    logLine("GazeTracker: Added camera input");
    logLine("GazeTracker: Added video output");
    logLine("GazeTracker: Video connection configured");
    logLine("GazeTracker: Starting capture session...");
    runStarting_ = true;
}

void GazeTracker::captureRunning() {
    runStarting_ = false;
    isTracking.set(true);
    logLine("GazeTracker: Capture session running: true");
}

void GazeTracker::frameAnalysed(FrameResult result) {
    switch (result.kind) {
        case FrameResult::Kind::NoFace:
            faceDetected.set(false);
            return;
        case FrameResult::Kind::NoUsableEyes:
            return;  // a face without both eyes and pupils changes nothing, not even faceDetected
        case FrameResult::Kind::Gaze:
            break;
    }
    const double now = environment_.clock();
    rawPupil_ = result.raw;
    if (isCalibrating()) {
        sampler_.add(result.raw, now);
        return;
    }
    const std::optional<DisplaySize> display =
        environment_.display ? environment_.display() : std::nullopt;
    const std::optional<GazeEstimate> estimate = estimator_.estimate(result.raw, display, now);
    if (!estimate) {
        return;
    }
    faceDetected.set(true);
    gazePoint.set(estimate->point);
    normalizedGazeX.set(estimate->normalizedX);
    normalizedGazeY.set(estimate->normalizedY);
}

void GazeTracker::runFailed(const std::string& line) {
    logLine(line);
    if (runStarting_) {
        logLine("GazeTracker: Capture session running: false");
    }
    // The run has ended by itself; what it leaves behind is joined here, not on its own thread.
    camera_.stop();
    ++currentRun_;
    becomeIdle();
}

void GazeTracker::becomeIdle() {
    runStarting_ = false;
    isTracking.set(false);
    faceDetected.set(false);
    estimator_.reset();
}

void GazeTracker::beginCalibration(double now) {
    calibrationPoints_ = calibrationTargets();
    sampler_.startTarget(now);
    calibrationStep.set(0);
    isCalibrating.set(true);
    logLine("GazeTracker: Calibration started");
}

void GazeTracker::startCalibrationTarget(double now) {
    sampler_.startTarget(now);
}

bool GazeTracker::recordCalibrationTarget(double now) {
    const int step = calibrationStep();
    if (!isCalibrating() || step < 0 || step >= static_cast<int>(kCalibrationTargetCount)) {
        return false;
    }
    const std::optional<RawGaze> recorded = sampler_.record(now);
    if (!recorded) {
        logLine("GazeTracker: Too few gaze samples for calibration point " +
                std::to_string(step + 1) + " - keep looking at the dot and press SPACE again");
        return false;
    }
    CalibrationPoint& point = calibrationPoints_[static_cast<std::size_t>(step)];
    point.pupilX = recorded->x;
    point.pupilY = recorded->y;
    point.recorded = true;
    sampler_.startTarget(now);
    calibrationStep.set(step + 1);
    if (step + 1 == static_cast<int>(kCalibrationTargetCount)) {
        finishCalibration();
    }
    return true;
}

void GazeTracker::finishCalibration() {
    const std::optional<GazeCalibration> fit = fitGazeCalibration(calibrationPoints_);
    if (fit) {
        calibration_ = *fit;
        isCalibrated.set(true);
        logLine("GazeTracker: Calibration complete - x = raw × " + std::to_string(fit->slopeX) +
                " + " + std::to_string(fit->interceptX) + ", y = raw × " +
                std::to_string(fit->slopeY) + " + " + std::to_string(fit->interceptY));
    } else {
        logLine(
            "GazeTracker: Calibration failed - the recorded points give no trustworthy mapping; "
            "keeping the previous calibration");
    }
    isCalibrating.set(false);
    applyCalibration(fit.has_value());
}

void GazeTracker::cancelCalibration() {
    if (!isCalibrating()) {
        return;
    }
    calibrationStep.set(0);
    isCalibrating.set(false);
    applyCalibration(false);
    logLine("GazeTracker: Calibration cancelled");
}

void GazeTracker::resetCalibration() {
    calibration_ = GazeCalibration{};
    isCalibrated.set(false);
    applyCalibration(true);
    logLine("GazeTracker: Calibration reset");
}

void GazeTracker::applyCalibration(bool keep) {
    const std::optional<GazeCalibration> inForce =
        isCalibrated() ? std::optional(calibration_) : std::nullopt;
    estimator_.setCalibration(inForce);
    // Points smoothed under the old mapping would drag the new one towards them.
    estimator_.reset();
    if (keep && environment_.calibrationChanged) {
        environment_.calibrationChanged(inForce);
    }
}

}  // namespace glimmora
