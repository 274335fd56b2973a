#include "render/FrameParameterBuilder.h"

#include <algorithm>
#include <cmath>

#include "settings/AppState.h"

namespace glimmora {

namespace {

// Fixed shader tuning; the shader decides what they mean, the values are part of the contract.
constexpr float kFocusBandEdgeWidth = 0.03f;
constexpr float kSpotlightBorderWidth = 0.03f;
constexpr float kFocusEffectTuning = 0.3f;
// Makes the focus band a little taller than the ruler band when both are shown.
constexpr float kRulerBandExtraHeight = 0.02f;
constexpr double kExplosionLifetime = 0.6;
// The line guide under the caret: the gap below the caret's line, and the line height taken
// when the caret tracker does not say (about 19 pixels on a 1080-line display).
constexpr float kLineGuideGap = 0.002f;
constexpr float kAssumedCaretLineHeight = 0.018f;
constexpr double kPi = 3.141592653589793;

float flag(bool on) {
    return on ? 1.0f : 0.0f;
}
float option(qint64 index) {
    return static_cast<float>(index);
}

/// Decides which pointer moved last. When mouse and caret both moved this frame the caret wins:
/// typing moves the caret, and a hand on the mouse should not steal the band from it.
/// Comparisons are strict and in single precision, like the positions themselves.
void updateFocusSource(const FrameInputs& inputs, RendererState& state) {
    const float mouseY = inputs.mouse.normalizedY;
    const float threshold = state.mouseMovementThreshold;
    const bool mouseMoved = std::abs(mouseY - state.lastMouseY) > threshold;
    if (inputs.caret.hasCursorPosition) {
        const float caretY = inputs.caret.normalizedY;
        // Compared with the caret last seen, however long ago, so a caret that reappears
        // somewhere else takes over at once.
        if (std::abs(caretY - state.lastCursorY) > threshold) {
            state.useTextCursor = true;
        } else if (mouseMoved) {
            state.useTextCursor = false;
        }
        state.lastCursorY = caretY;
    } else if (mouseMoved) {
        state.useTextCursor = false;
    }
    state.lastMouseY = mouseY;
}

/// The explosion block for time `t`; forgets the explosion once its lifetime is over. Whether
/// it is over is judged once, in double against the exact birth time and 0.6 s, so the frame
/// that stops showing it is the frame that forgets it. The age the shader gets is float
/// arithmetic, like t itself.
ExplosionParams explosionAt(float t, RendererState& state) {
    ExplosionParams block;
    if (!state.currentExplosion) {
        return block;
    }
    const Explosion& explosion = *state.currentExplosion;
    if (static_cast<double>(t) - explosion.birthTime >= kExplosionLifetime) {
        state.currentExplosion.reset();
        return block;
    }
    const float age = t - static_cast<float>(explosion.birthTime);
    return {explosion.centerX, explosion.centerY, age, 1.0f};
}

/// Where the line guide goes while it follows the caret: just under the caret's line, so it
/// underlines what is being typed instead of striking it through.
float lineGuideBelow(const FrameInputs::Caret& caret) {
    const float lineHeight =
        caret.normalizedHeight > 0 ? caret.normalizedHeight : kAssumedCaretLineHeight;
    return caret.normalizedY + 0.5f * lineHeight + kLineGuideGap;
}

/// The sharp rectangle: the frontmost window, or a speck at the centre of the screen when there
/// is none. Edges are found in double (the bounds' precision) and only then rounded.
void setSmartFocusRect(const FrameInputs::Window& window, SmartFocusParams& block) {
    const Rect rect =
        window.hasActiveWindow ? window.activeWindowBounds : Rect{0.5, 0.5, 0.001, 0.001};
    const double farX = rect.x + rect.width;
    const double farY = rect.y + rect.height;
    block.minX = static_cast<float>(std::min(rect.x, farX));
    block.minY = static_cast<float>(std::min(rect.y, farY));
    block.maxX = static_cast<float>(std::max(rect.x, farX));
    block.maxY = static_cast<float>(std::max(rect.y, farY));
}

/// 0.5 at the start of each breath, 1 a quarter in, 0 three quarters in. Zero breaths per
/// minute gives an infinite period and so a constant 0.5, with no special case needed.
float breathingPhase(float t, float breathsPerMinute) {
    const double period = 60.0 / static_cast<double>(breathsPerMinute);
    return static_cast<float>(0.5 + 0.5 * std::sin(2.0 * kPi * static_cast<double>(t) / period));
}

}  // namespace

FrameParameters buildFrameParameters(const AppState& settings, const FrameInputs& inputs,
                                     RendererState& state) {
    FrameParameters frame;

    // One time for the whole frame, so every block animates in step.
    const float t = static_cast<float>(inputs.now);
    frame.time.time = t;

    const RetroEffectParameters retro = settings.retroEffectParameters();
    frame.retro = {retro.scanLines, retro.rgbShift, retro.noise, retro.flicker, retro.opacity};

    // Must run before the band and the ruler read `useTextCursor`.
    updateFocusSource(inputs, state);

    const FrameInputs::Caret& caret = inputs.caret;
    const FrameInputs::Mouse& mouse = inputs.mouse;
    const bool gazeLeads = settings.isGazeTrackingEnabled() && inputs.gaze.faceDetected;

    float focusCenterY = mouse.normalizedY;
    if (gazeLeads) {
        focusCenterY = inputs.gaze.normalizedGazeY;
    } else if (caret.hasCursorPosition && settings.focusFollowsCursor() && state.useTextCursor) {
        focusCenterY = caret.normalizedY;
    }

    // The gaze never moves the ruler or the line guide: reading follows the hands.
    const bool rulerOnCaret =
        caret.hasCursorPosition && settings.rulerFollowsCursor() && state.useTextCursor;
    const float rulerX = rulerOnCaret ? caret.normalizedX : mouse.normalizedX;
    const float rulerY = rulerOnCaret ? caret.normalizedY : mouse.normalizedY;

    const bool rulerOn = settings.isReadingRulerEnabled();
    frame.focusBand = {
        focusCenterY,
        rulerOn ? settings.readingRulerHeight() + kRulerBandExtraHeight
                : settings.focusModeHeight(),
        flag(settings.isFocusEnabled() || gazeLeads),
        kFocusBandEdgeWidth,
    };

    frame.explosion = explosionAt(t, state);

    frame.readingRuler = {rulerX, rulerY, settings.readingRulerHeight(),
                          settings.readingRulerZoom(), flag(rulerOn)};

    setSmartFocusRect(inputs.window, frame.smartFocus);
    frame.smartFocus.blurStrength = settings.smartFocusBlurStrength();
    frame.smartFocus.fadeWidth = settings.smartFocusFadeWidth();
    frame.smartFocus.enabled = flag(settings.isSmartFocusEnabled());
    frame.smartFocus.effectMode = option(settings.smartFocusEffectMode());
    frame.smartFocus.time = t;

    frame.screenDimmer.brightness = settings.screenBrightness();
    frame.screenDimmer.enabled = flag(settings.isScreenDimmerEnabled());

    frame.colorBlind.filterType = option(settings.colorBlindFilterType());
    frame.colorBlind.intensity = settings.colorBlindFilterIntensity();
    frame.colorBlind.enabled = flag(settings.isColorBlindFilterEnabled());

    // The spotlight always follows the mouse. The border width setting is deliberately not
    // read: the shader's border is fixed.
    frame.cursorSpotlight = {
        mouse.normalizedX,
        mouse.normalizedY,
        settings.cursorSpotlightRadius(),
        kSpotlightBorderWidth,
        settings.cursorSpotlightDimAmount(),
        flag(settings.isCursorSpotlightEnabled()),
        option(settings.cursorSpotlightEffectMode()),
        t,
    };

    frame.dyslexia.tintColor = option(settings.dyslexiaTintColor());
    frame.dyslexia.tintStrength = settings.dyslexiaTintStrength();
    frame.dyslexia.lineGuide = flag(settings.dyslexiaLineGuide());
    frame.dyslexia.lineY = rulerOnCaret ? lineGuideBelow(caret) : rulerY;
    frame.dyslexia.enabled = flag(settings.isDyslexiaAidsEnabled());

    frame.breathPacer.phase = breathingPhase(t, settings.breathsPerMinute());
    frame.breathPacer.style = option(settings.breathPacerStyle());
    frame.breathPacer.intensity = settings.breathPacerIntensity();
    frame.breathPacer.breathsPerMinute = settings.breathsPerMinute();
    frame.breathPacer.enabled = flag(settings.isBreathPacerEnabled());

    frame.focusEffect.effect = option(settings.focusModeEffect());
    frame.focusEffect.glitchAmount = settings.focusModeGlitchAmount();
    frame.focusEffect.dimAmount = settings.focusModeDimAmount();
    frame.focusEffect.desatAmount = settings.focusModeDesatAmount();
    frame.focusEffect.tuning = kFocusEffectTuning;
    // Focus mode itself only: a detected face activates the band, not this switch.
    frame.focusEffect.enabled = flag(settings.isFocusEnabled());

    return frame;
}

}  // namespace glimmora
