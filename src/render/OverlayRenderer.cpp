#include "render/OverlayRenderer.h"

#include <string>

#include "capture/ScenePictureCompositor.h"
#include "core/Log.h"
#include "gaze/GazeTracker.h"
#include "platform/gl/GlApi.h"
#include "render/FrameParameterBuilder.h"
#include "render/GlPipeline.h"
#include "render/PictureTextures.h"
#include "render/RedrawPolicy.h"
#include "settings/AppState.h"
#include "trackers/MouseTracker.h"
#include "trackers/TextCursorTracker.h"
#include "trackers/WindowFocusTracker.h"

namespace glimmora {

namespace {
constexpr double kDrawReportInterval = 5.0;  // seconds
constexpr int kMostScissorRectangles = 8;
}  // namespace

OverlayRenderer::OverlayRenderer(AppState& settings, std::function<double()> clock)
    : settings_(settings), clock_(std::move(clock)) {
    // Both deliver the current value at once, so a renderer made while the overlay is switched
    // off starts paused.
    subscriptions_.push_back(
        settings_.isOverlayEnabled.sink([this](const bool& enabled) { setPaused(!enabled); }));
    subscriptions_.push_back(settings_.objectWillChange().connect([this] { wakeUp(); }));
    subscriptions_.push_back(settings_.isGazeTrackingEnabled.sink([this](const bool& enabled) {
        if (enabled) {
            settings_.isFocusEnabled = true;
            logLine("Gaze tracking enabled - Focus mode auto-activated");
        }
    }));
}

OverlayRenderer::~OverlayRenderer() {
    if (mouseTracker_ != nullptr) {
        mouseTracker_->setClickExplosionHandler({});
        mouseTracker_->stopTracking();
    }
    if (windowTracker_ != nullptr) {
        windowTracker_->stopTracking();
    }
}

void OverlayRenderer::startTrackers(MouseTracker* mouse, WindowFocusTracker* window,
                                    TextCursorTracker* caret) {
    mouseTracker_ = mouse;
    windowTracker_ = window;
    caretTracker_ = caret;
    if (caret != nullptr) {
        caret->startTracking();
        subscriptions_.push_back(caret->objectWillChange().connect([this] { wakeUp(); }));
    }
    if (mouse != nullptr) {
        mouse->startTracking();
        subscriptions_.push_back(mouse->objectWillChange().connect([this] { wakeUp(); }));
        // The tracker lives longer than the renderer, which removes this callback on its way
        // out: `this` is valid whenever it runs.
        mouse->setClickExplosionHandler([this](float x, float y) { showExplosion(x, y); });
    }
    if (window != nullptr) {
        window->startTracking();
        subscriptions_.push_back(window->objectWillChange().connect([this] { wakeUp(); }));
    }
}

void OverlayRenderer::setGazeTracker(GazeTracker* gaze) {
    gazeTracker_ = gaze;
    if (gaze != nullptr) {
        subscriptions_.push_back(gaze->objectWillChange().connect([this] { wakeUp(); }));
    }
}

void OverlayRenderer::initialize() {
    if (!hasContext()) {
        return;
    }
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const std::string name = renderer != nullptr ? renderer : "";
    // Mesa's software rasterisers: llvmpipe, softpipe and the older swrast.
    isSoftwareRenderer_ = name.find("llvmpipe") != std::string::npos ||
                          name.find("softpipe") != std::string::npos ||
                          name.find("swrast") != std::string::npos;
    pipeline_ = std::make_unique<GlPipeline>();
    pipeline_->create();
    textures_ = std::make_unique<PictureTextures>();
    initializeSceneCompositor();
}

void OverlayRenderer::setSceneCompositor(std::unique_ptr<ScenePictureCompositor> compositor) {
    sceneCompositor_ = std::move(compositor);
    sceneCompositorInitialized_ = false;
    sceneCompositorReady_ = false;
    if (textures_) {
        initializeSceneCompositor();  // already initialised: the context is current now
    }
}

void OverlayRenderer::initializeSceneCompositor() {
    if (!sceneCompositor_ || sceneCompositorInitialized_ || !hasContext()) {
        return;
    }
    sceneCompositorInitialized_ = true;
    sceneCompositorReady_ = sceneCompositor_->initialize();
}

bool OverlayRenderer::takeDisplayPicture(const DesktopPicture& picture, QRegion& changed) {
    if (picture.scene) {
        // Without a working compositor (never offered scenes, unless it was just replaced)
        // the scene cannot be shown.
        if (!sceneCompositorReady_ || picture.scene->size.isEmpty()) {
            return false;
        }
        const QSize size = picture.scene->size;
        if (!sceneCompositor_->composeInto(textures_->sceneTarget(size), size, picture.scene)) {
            return false;
        }
        textures_->commitScene();
        changed += QRect(QPoint(0, 0), size);
        return true;
    }
    changed += textures_->setDisplay(picture.image, picture.changed);
    return true;
}

bool OverlayRenderer::hasContext() const {
    // Without a current context the dispatch library answers every query with nothing.
    return glGetString(GL_VERSION) != nullptr;
}

void OverlayRenderer::showExplosion(float x, float y) {
    state_.currentExplosion = Explosion{x, y, clock_()};
    wakeUp();
}

void OverlayRenderer::wakeUp() const {
    if (wakeUp_) {
        wakeUp_();
    }
}

void OverlayRenderer::reportDraws(double now) {
    ++drawCount_;
    if (lastDrawDebugTime_ && now - *lastDrawDebugTime_ <= kDrawReportInterval) {
        return;
    }
    const bool visible = isVisible_ && isVisible_();
    logLine("🎨 Draw: " + std::to_string(drawCount_) +
            " calls in last 5s, window visible: " + (visible ? "true" : "false"));
    drawCount_ = 0;
    lastDrawDebugTime_ = now;
}

void OverlayRenderer::setPaused(bool paused) {
    paused_ = paused;
    if (paused) {
        drawnParameters_.reset();  // what was on screen is gone; the first frame back draws
    }
}

void OverlayRenderer::readTrackers() {
    readings_.now = clock_();
    if (mouseTracker_ != nullptr) {
        readings_.mouse = {mouseTracker_->normalizedX(), mouseTracker_->normalizedY()};
    }
    if (caretTracker_ != nullptr) {
        readings_.caret = {caretTracker_->normalizedX(), caretTracker_->normalizedY(),
                           caretTracker_->hasCursorPosition(), caretTracker_->normalizedHeight()};
    }
    if (gazeTracker_ != nullptr) {
        readings_.gaze = {gazeTracker_->faceDetected(), gazeTracker_->normalizedGazeY()};
    }
    if (windowTracker_ != nullptr) {
        const Rect bounds = windowTracker_->activeWindowBounds();
        readings_.window = {windowTracker_->hasActiveWindow(),
                            {bounds.x, bounds.y, bounds.width, bounds.height}};
    }
}

bool OverlayRenderer::needsFrame() {
    if (paused_) {
        return false;
    }
    if (!drawnParameters_ || handOver_.hasPending() || RedrawPolicy::animates(*drawnParameters_)) {
        return true;
    }
    // The build is what a frame drawn now would do, the renderer state's frame-to-frame
    // bookkeeping (which pointer moved last, the explosion's end) included, so it is kept
    // whether or not the frame is drawn.
    readTrackers();
    const FrameParameters now = buildFrameParameters(settings_, readings_, state_);
    return !RedrawPolicy::looksAlike(now, *drawnParameters_);
}

bool OverlayRenderer::needsTicks() const {
    return !paused_ && (!drawnParameters_ || RedrawPolicy::animates(*drawnParameters_));
}

QRegion OverlayRenderer::draw(const RenderTarget& target, TargetContents contents) {
    if (paused_) {
        return {};
    }
    const std::optional<FrameParameters> previous = std::exchange(drawnParameters_, std::nullopt);
    const QSize previousSize = std::exchange(drawnSize_, QSize());
    reportDraws(clock_());

    // Hand-over: the newest picture becomes the display picture. A picture that is withdrawn or
    // cannot be shown leaves the display texture as it was.
    QRegion pictureChange;
    if (textures_) {
        initializeSceneCompositor();
        if (std::optional<DesktopPicture> picture = handOver_.takePending()) {
            // A null picture: the source withdrew its picture (it lost the desktop). Until the
            // next one arrives the last good picture stands in, as it does for one that cannot
            // be shown.
            hasDisplayPicture_ = !picture->isNull() && takeDisplayPicture(*picture, pictureChange);
            if (hasDisplayPicture_) {
                ++picturesShown_;
            } else {
                // What comes next changed from a picture the display texture may not hold.
                textures_->forgetDisplayPicture();
            }
        }
    }
    const unsigned texture = textures_ ? textures_->display() : 0;
    if (texture == 0) {
        logLine("⚠️ No texture available for drawing!");
        return {};
    }
    if (!hasDisplayPicture_) {
        logLine("🔄 Using persistent texture backup");
    }

    if (!target.isValid()) {
        logLine("⚠️ No drawable available!");
        return {};
    }
    if (!hasContext()) {
        logLine("⚠️ No command buffer!");
        return {};
    }
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        logLine("⚠️ No render pass descriptor!");
        return {};
    }
    if (!pipeline_ || !pipeline_->hasProgram() || !pipeline_->hasBuffers()) {
        logLine("⚠️ Missing pipeline or buffers!");
        return {};
    }

    glViewport(0, 0, target.width, target.height);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    // The quad covers the whole target and the shader writes every pixel opaque (it mixes the
    // overall opacity itself), so a clear and source-alpha blending would change nothing; on a
    // software rasteriser they would cost a pass over the target and a read per pixel.
    glDisable(GL_BLEND);

    readTrackers();
    const FrameParameters parameters = buildFrameParameters(settings_, readings_, state_);
    const QRegion area =
        areaToDraw(target, contents, parameters, previous, previousSize, pictureChange);
    const QRect whole(0, 0, target.width, target.height);
    if (area == QRegion(whole)) {
        pipeline_->draw(texture, parameters, textures_->displaySize() == whole.size());
    } else if (!area.isEmpty()) {
        // Scissor boxes count rows from the bottom.
        scissors_.clear();
        for (const QRect& rect : area) {
            scissors_.emplace_back(rect.x(), target.height - rect.y() - rect.height(), rect.width(),
                                   rect.height());
        }
        pipeline_->draw(texture, parameters, true, scissors_);
    }
    drawnParameters_ = parameters;
    drawnSize_ = whole.size();
    // Nothing waits for the GPU here: the window's buffer swap or the caller's read-back does.
    return area;
}

QRegion OverlayRenderer::areaToDraw(const RenderTarget& target, TargetContents contents,
                                    const FrameParameters& parameters,
                                    const std::optional<FrameParameters>& previous,
                                    QSize previousSize, const QRegion& pictureChange) const {
    const QRect whole(0, 0, target.width, target.height);
    // The frame on the target is this frame except where the picture's change shows only if it
    // was drawn at this size, one to one, from the same look, without time in it.
    if (contents != TargetContents::LastFrame || !previous || previousSize != whole.size() ||
        textures_->displaySize() != whole.size() || RedrawPolicy::animates(*previous) ||
        RedrawPolicy::animates(parameters) || !RedrawPolicy::looksAlike(parameters, *previous)) {
        return whole;
    }
    const std::optional<QRegion> changed =
        GlPipeline::changedByPicture(parameters, pictureChange, whole.size());
    if (!changed) {
        return whole;
    }
    const QRegion area = *changed & whole;
    // Past a few rectangles one box costs less than a pass per rectangle.
    return area.rectCount() > kMostScissorRectangles ? QRegion(area.boundingRect()) : area;
}

}  // namespace glimmora
