#pragma once

#include <QRect>
#include <QRegion>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "capture/PictureHandOver.h"
#include "core/Signal.h"
#include "render/FrameInputs.h"
#include "render/ParameterBlocks.h"
#include "render/RenderTarget.h"
#include "render/RendererState.h"

namespace glimmora {

class AppState;
class GlPipeline;
class GazeTracker;
class MouseTracker;
class TextCursorTracker;
class WindowFocusTracker;
class PictureTextures;
class ScenePictureCompositor;

/// The draw loop's brain, shared by the overlay window and offline rendering: it takes the
/// newest picture from the hand-over, keeps the last good one on the GPU as the fallback,
/// builds the frame's parameter blocks from the settings and the tracker readings, and draws
/// one quad into a render target.
///
/// A picture is either uploaded (pixels) or, for a scene of the zero-copy capture, composed on
/// the GPU by the scene compositor (see PictureTextures); everything after that (fallback,
/// effects, report) is the same for both. Without a compositor scenes are dropped.
///
/// It draws only when asked, and says when it should be asked (needsFrame()): a frame over
/// the same picture with the same look is not drawn again.
///
/// It follows `isOverlayEnabled` (paused while off) and switches focus mode on when gaze
/// tracking starts. Every failed draw step prints its line and skips the frame. Main thread
/// only, with the OpenGL context current for initialize(), draw() and destruction; pictures
/// may be submitted to handOver() from any thread.
class OverlayRenderer {
public:
    /// `clock` gives monotonic seconds (MonotonicClock::now in the application).
    OverlayRenderer(AppState& settings, std::function<double()> clock);
    OverlayRenderer(const OverlayRenderer&) = delete;
    OverlayRenderer& operator=(const OverlayRenderer&) = delete;
    ~OverlayRenderer();

    /// Creates the GPU objects once, the scene compositor's included. Failures leave them
    /// missing; draws then say so.
    void initialize();

    /// Main thread. Gives the renderer the compositor that draws scenes (it owns it and
    /// destroys it with the renderer, context current). Set before initialize(), or it is
    /// initialised at the next draw.
    void setSceneCompositor(std::unique_ptr<ScenePictureCompositor> compositor);
    /// Whether scenes can be drawn: a compositor is set and initialised in this context. The
    /// capture asks this before it offers scenes instead of pictures.
    bool canComposeScenes() const { return sceneCompositorReady_; }
    /// Whether OpenGL draws on the CPU here (Mesa's llvmpipe and kin), known after initialize().
    /// Binding window pixmaps as textures is then a pixel copy too, followed by composition on
    /// the CPU, so composing scenes costs more than copying pictures.
    bool isSoftwareRenderer() const { return isSoftwareRenderer_; }

    /// What a render target holds when a frame is asked for.
    enum class TargetContents {
        Unknown,    // anything (a new or swapped buffer): the frame is drawn whole
        LastFrame,  // this renderer's last frame, untouched since
    };
    /// One frame into `target`, whether or not it changed (a window system may ask for one
    /// after an expose). Returns the part of the target it drew (device pixels, row 0 at the
    /// top): all of it, or, when the target holds the last frame, only where that would look
    /// different: where a new picture changed, as long as the look is the same, nothing moves
    /// with time and each pixel reads only its own texel. Empty when it drew nothing.
    QRegion draw(const RenderTarget& target, TargetContents contents = TargetContents::Unknown);
    /// Whether a frame asked for now would look different from the last one drawn: a new
    /// picture waits, an effect moves with time, the settings or the trackers changed the
    /// look, or nothing was drawn yet (or the last draw failed, which then retries). Reads the
    /// trackers as a frame would; never true while paused. Called once per frame tick.
    bool needsFrame();
    /// Whether the frame loop must keep asking at its full rate: an effect moves with time,
    /// or no frame stands yet (or the last draw failed). Otherwise it may rest until the
    /// wake-up or the hand-over's wake-up calls.
    bool needsTicks() const;
    /// Main thread. Called when a setting, a tracker reading or a click may have changed the
    /// look, before the change is complete: the loop should ask needsFrame() once it is.
    void setWakeUp(std::function<void()> wakeUp) { wakeUp_ = std::move(wakeUp); }

    bool isPaused() const { return paused_; }
    void setPaused(bool paused);

    PictureHandOver& handOver() { return handOver_; }
    /// Where the trackers publish what the next frames read (positions are normalised).
    FrameInputs& trackerReadings() { return readings_; }
    RendererState& rendererState() { return state_; }
    /// Tells the draw report whether the frames reach a visible window.
    void setWindowVisibility(std::function<bool()> isVisible) { isVisible_ = std::move(isVisible); }

    /// The click callback: shows an explosion at the normalised position, born now.
    void showExplosion(float x, float y);

    /// Starts the pointer, window and text caret trackers the frames follow (any may be null),
    /// and installs the click callback. From then on every frame reads their published
    /// positions. The renderer stops the pointer and window trackers and removes its callback
    /// when it is destroyed (the caret tracker keeps running), so all must outlive it. Call
    /// once.
    void startTrackers(MouseTracker* mouse, WindowFocusTracker* window,
                       TextCursorTracker* caret = nullptr);

    /// The gaze tracker whose estimate the focus band follows while gaze tracking is on; every
    /// change it publishes wakes the draw. Started and stopped elsewhere (the delegate's gaze
    /// observer); it must outlive the renderer. Call once.
    void setGazeTracker(GazeTracker* gaze);

    /// The GPU pictures, for tests and diagnostics.
    const PictureTextures* textures() const { return textures_.get(); }
    /// New desktop pictures taken for display so far (a benchmark's count of captured frames).
    long picturesShown() const { return picturesShown_; }

private:
    bool hasContext() const;
    void reportDraws(double now);
    /// Takes the trackers' published readings and the clock into `readings_`.
    void readTrackers();
    void wakeUp() const;
    void initializeSceneCompositor();
    /// Makes `picture` the display picture; false when it could not be shown. Adds what changed
    /// in the display texture (picture coordinates) to `changed`.
    bool takeDisplayPicture(const DesktopPicture& picture, QRegion& changed);
    /// The part of `target` a frame with `parameters` must draw, given what changed in the
    /// display texture since the frame it holds (`previous`, drawn at `previousSize`).
    QRegion areaToDraw(const RenderTarget& target, TargetContents contents,
                       const FrameParameters& parameters,
                       const std::optional<FrameParameters>& previous, QSize previousSize,
                       const QRegion& pictureChange) const;

    AppState& settings_;
    std::function<double()> clock_;
    std::function<bool()> isVisible_;
    std::function<void()> wakeUp_;
    PictureHandOver handOver_;
    FrameInputs readings_;
    MouseTracker* mouseTracker_ = nullptr;
    WindowFocusTracker* windowTracker_ = nullptr;
    TextCursorTracker* caretTracker_ = nullptr;
    GazeTracker* gazeTracker_ = nullptr;
    RendererState state_;
    std::unique_ptr<GlPipeline> pipeline_;
    std::unique_ptr<PictureTextures> textures_;
    std::unique_ptr<ScenePictureCompositor> sceneCompositor_;
    bool sceneCompositorInitialized_ = false;
    bool sceneCompositorReady_ = false;
    bool hasDisplayPicture_ = false;
    bool paused_ = false;
    long picturesShown_ = 0;
    bool isSoftwareRenderer_ = false;
    int drawCount_ = 0;
    std::optional<double> lastDrawDebugTime_;  // none until the first frame, which reports
    /// The parameters of the frame on screen; none when the next tick must draw.
    std::optional<FrameParameters> drawnParameters_;
    QSize drawnSize_;              // the target size of the last frame drawn
    std::vector<QRect> scissors_;  // kept so that a steady stream of frames allocates nothing
    std::vector<Subscription> subscriptions_;
};

}  // namespace glimmora
