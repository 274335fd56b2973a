#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "core/Point.h"
#include "core/Published.h"
#include "core/Signal.h"
#include "gaze/CalibrationSampler.h"
#include "gaze/GazeCalibration.h"
#include "gaze/GazeCameraService.h"
#include "gaze/GazeEstimator.h"
#include "gaze/RawGaze.h"

namespace glimmora {

/// Where on the main display the user is looking, from the webcam: starts and stops the camera
/// run, turns each frame's eyes into a steady screen point and publishes it with the tracker's
/// status (tracking, face seen) for the renderer, the gaze status window and the menu. It also
/// drives calibration: the nine targets, the samples recorded for each and the fitted mapping.
///
/// The camera, the face model and the frame analysis run off the main thread in the camera
/// service; what they find reaches this object as one small main-thread task per frame. The
/// estimate itself (a few dozen operations) runs on the main thread, where every published
/// field is written. Results of a run that has since been stopped or replaced are ignored, so a
/// restart begins with clean filters.
///
/// Everything it needs from outside is injected (camera service, clock, display size, a way to
/// reach the main thread), so tests drive it with eye landmarks and no camera or thread.
/// Main thread only, except where a member says otherwise.
class GazeTracker {
public:
    /// Runs a task on the main thread; callable from any thread.
    using PostToMainThread = std::function<void(std::function<void()>)>;
    /// Seconds on a monotonic clock.
    using Clock = std::function<double()>;
    /// The main display's size in points, or nothing when there is no display.
    using DisplaySource = std::function<std::optional<DisplaySize>()>;
    /// Told the calibration in force whenever calibration finishes or is reset, so it can be
    /// kept: nothing means the uncalibrated mapping.
    using CalibrationChanged = std::function<void(const std::optional<GazeCalibration>&)>;

    struct Environment {
        Clock clock{};
        DisplaySource display{};
        PostToMainThread postToMainThread{};
        /// The calibration kept from an earlier session, if any. One no fit could have given
        /// (a slope of the wrong sign, say) is ignored with a line.
        std::optional<GazeCalibration> savedCalibration{};
        CalibrationChanged calibrationChanged{};
    };

    /// `camera` must outlive the tracker.
    GazeTracker(GazeCameraService& camera, Environment environment);
    GazeTracker(const GazeTracker&) = delete;
    GazeTracker& operator=(const GazeTracker&) = delete;
    /// Ends the camera run; tasks it already posted do nothing.
    ~GazeTracker();

    /// Emitted before any published field changes; no payload.
    Signal<>& objectWillChange() { return objectWillChange_; }

    /// Checks camera access and starts a camera run; logs each step. Does nothing but log when
    /// already tracking. A start while an earlier one is still opening the camera replaces it.
    void startTracking();
    /// Ends the camera run, clears isTracking and faceDetected, forgets the filters' history and
    /// logs "GazeTracker: Stopped", also when tracking never started.
    void stopTracking();

    /// The nine calibration targets with what was recorded for them.
    const std::array<CalibrationPoint, kCalibrationTargetCount>& calibrationPoints() const {
        return calibrationPoints_;
    }
    /// The raw gaze of the last frame with usable eyes (both eyes averaged).
    RawGaze rawPupil() const { return rawPupil_; }
    /// The calibrated mapping's coefficients; the identity while not calibrated.
    GazeCalibration calibration() const { return calibration_; }

    /// Starts a calibration at `now` (seconds on the tracker's clock): step 0, every target
    /// unrecorded, the first target's samples collected from now on. The calibration in force
    /// stays in force until the new one is fitted. While calibrating, frames only update rawPupil()
    /// and feed the samples; no gaze point is published.
    void beginCalibration(double now);
    /// The current target appeared on the screen at `now`: its samples start over from here.
    void startCalibrationTarget(double now);
    /// Records the current target from the samples seen up to `now` and moves to the next one,
    /// whose samples start at `now`. Returns false (and logs why) when too few usable samples
    /// were seen. After the ninth target the mapping is fitted: a fit that can be trusted
    /// becomes the calibration in force, otherwise the previous one stays; either way
    /// calibration ends.
    bool recordCalibrationTarget(double now);
    /// Abandons the calibration: the calibration in force before it stays, step 0.
    void cancelCalibration();
    /// Back to the uncalibrated mapping.
    void resetCalibration();

private:
    /// What a frame's eyes gave, worked out on the camera's thread.
    struct FrameResult {
        enum class Kind { NoFace, NoUsableEyes, Gaze };
        Kind kind = Kind::NoFace;
        RawGaze raw;
    };

    /// Events for a new run; each one posts its news to the main thread, where it is dropped
    /// unless the run is still the current one.
    GazeCameraEvents eventsForRun(std::uint64_t run);
    void cameraOpened(const std::string& name);
    void captureRunning();
    void frameAnalysed(FrameResult result);
    void runFailed(const std::string& line);
    /// Ends tracking in the tracker's own state: not tracking, no face, filters forgotten.
    void becomeIdle();
    /// The calibration in force now goes to the estimator and, when `keep`, to the owner.
    void applyCalibration(bool keep);
    void finishCalibration();

    Signal<> objectWillChange_;  // declared first: every published field below refers to it

public:
    /// The filtered gaze point in points of the main display, origin top-left, y downward.
    Published<Point> gazePoint{objectWillChange_, Point{}};
    /// The camera run delivers frames.
    Published<bool> isTracking{objectWillChange_, false};
    /// The last start found that the user may use the camera.
    Published<bool> hasPermission{objectWillChange_, false};
    /// The last frame gave a gaze point; false after a frame without a face or a stop.
    Published<bool> faceDetected{objectWillChange_, false};
    /// gazePoint's y as a fraction of the display height, 0 at the top edge.
    Published<float> normalizedGazeY{objectWillChange_, 0.5f};
    /// gazePoint's x as a fraction of the display width, 0 at the left edge.
    Published<float> normalizedGazeX{objectWillChange_, 0.5f};
    Published<bool> isCalibrating{objectWillChange_, false};
    /// Index of the current calibration target; 9 once all are recorded.
    Published<int> calibrationStep{objectWillChange_, 0};
    /// The calibrated mapping is in force.
    Published<bool> isCalibrated{objectWillChange_, false};

private:
    GazeCameraService& camera_;
    Environment environment_;
    /// Lets posted tasks find out whether the tracker still exists.
    std::shared_ptr<GazeTracker*> self_;
    /// The run whose news counts; every start and stop moves it on.
    std::uint64_t currentRun_ = 0;
    /// The current run opened its camera and has not delivered a frame yet.
    bool runStarting_ = false;
    GazeEstimator estimator_;
    RawGaze rawPupil_;
    /// The calibration in force. It changes only when a calibration finishes or is reset, never
    /// while one is under way: a cancel or a refused fit has nothing to restore.
    GazeCalibration calibration_;
    std::array<CalibrationPoint, kCalibrationTargetCount> calibrationPoints_;
    CalibrationSampler sampler_;
};

}  // namespace glimmora
