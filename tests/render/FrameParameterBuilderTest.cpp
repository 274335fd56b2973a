#include "render/FrameParameterBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"

namespace glimmora {
namespace {

// Binding indices, spelled out so that a wrong kBindingIndex in the header is caught.
constexpr int kTime = 1;
constexpr int kRetro = 2;
constexpr int kFocusBand = 3;
constexpr int kExplosion = 4;
constexpr int kRuler = 5;
constexpr int kSmartFocus = 6;
constexpr int kDimmer = 7;
constexpr int kColorBlind = 8;
constexpr int kSpotlight = 9;
constexpr int kDyslexia = 10;
constexpr int kBreath = 11;
constexpr int kFocusEffect = 12;

/// Reads the float the shader would see at `offset` of binding `binding`, from the uploaded
/// bytes rather than from the struct, so that layout mistakes show up.
float floatAt(const FrameParameters& frame, int binding, std::size_t offset) {
    const std::span<const std::byte> bytes = frame.bindingBytes(binding);
    if (offset + sizeof(float) > bytes.size()) {
        ADD_FAILURE() << "offset " << offset << " lies outside binding " << binding << " of "
                      << bytes.size() << " bytes";
        return std::numeric_limits<float>::quiet_NaN();
    }
    float value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

class FrameParameterBuilderTest : public ::testing::Test {
protected:
    FrameParameters build() { return buildFrameParameters(settings, inputs, state); }

    void placeCaret(float x, float y) { inputs.caret = {x, y, true}; }
    void loseCaret() { inputs.caret.hasCursorPosition = false; }
    void placeMouse(float x, float y) { inputs.mouse = {x, y}; }
    float bandCenter(const FrameParameters& frame) { return floatAt(frame, kFocusBand, 0); }

    MemoryUserDefaults defaults;
    AppState settings{defaults};
    FrameInputs inputs;
    RendererState state;
};

// --- Layout -------------------------------------------------------------------------------

TEST_F(FrameParameterBuilderTest, EachBindingHasItsExactLength) {
    const FrameParameters frame = build();
    constexpr std::array<std::size_t, 13> kLengths{0,  4,  20, 16, 16, 20, 48,
                                                   16, 16, 32, 32, 32, 32};
    for (int binding = 1; binding <= 12; ++binding) {
        EXPECT_EQ(frame.bindingBytes(binding).size(), kLengths[binding]) << "binding " << binding;
    }
    EXPECT_TRUE(frame.bindingBytes(0).empty()) << "index 0 is the picture, not a block";
    EXPECT_TRUE(frame.bindingBytes(13).empty());
    EXPECT_TRUE(frame.bindingBytes(-1).empty());
}

// Every field of every block, with distinct values so that two swapped fields cannot pass.
TEST_F(FrameParameterBuilderTest, EveryFieldSitsAtItsOffset) {
    settings.isScanLinesEnabled = true;
    settings.scanLineIntensity = 0.31f;
    settings.isRGBShiftEnabled = true;
    settings.rgbShiftAmount = 0.0042f;
    settings.isNoiseEnabled = true;
    settings.noiseAmount = 0.071f;
    settings.isFlickerEnabled = true;
    settings.flickerIntensity = 0.033f;
    settings.overlayOpacity = 0.85f;
    settings.isFocusEnabled = true;
    settings.isReadingRulerEnabled = true;
    settings.readingRulerHeight = 0.07f;
    settings.readingRulerZoom = 2.5f;
    settings.isSmartFocusEnabled = true;
    settings.smartFocusBlurStrength = 0.45f;
    settings.smartFocusFadeWidth = 0.035f;
    settings.smartFocusEffectMode = 2;
    settings.isScreenDimmerEnabled = true;
    settings.screenBrightness = -0.25f;
    settings.isColorBlindFilterEnabled = true;
    settings.colorBlindFilterType = 3;
    settings.colorBlindFilterIntensity = 0.65f;
    settings.isCursorSpotlightEnabled = true;
    settings.cursorSpotlightRadius = 0.21f;
    settings.cursorSpotlightDimAmount = 0.55f;
    settings.cursorSpotlightBorderWidth = 0.09f;  // must not reach the shader
    settings.cursorSpotlightEffectMode = 4;
    settings.isDyslexiaAidsEnabled = true;
    settings.dyslexiaTintColor = 5;
    settings.dyslexiaTintStrength = 0.36f;
    settings.dyslexiaLineGuide = true;
    settings.isBreathPacerEnabled = true;
    settings.breathPacerStyle = 2;
    settings.breathPacerIntensity = 0.46f;
    settings.breathsPerMinute = 6.0f;
    settings.focusModeEffect = 4;
    settings.focusModeGlitchAmount = 0.15f;
    settings.focusModeDimAmount = 0.26f;
    settings.focusModeDesatAmount = 0.37f;

    placeMouse(0.21f, 0.38f);
    placeCaret(0.63f, 0.71f);  // moved from the initial 0.5: the caret leads
    inputs.window = {true, {0.125, 0.25, 0.5, 0.25}};
    inputs.now = 2.5;  // a quarter of a 10 s breath
    state.currentExplosion = Explosion{0.4f, 0.6f, 2.25};

    const FrameParameters frame = build();

    struct Field {
        int binding;
        std::size_t offset;
        float expected;
        const char* name;
    };
    const Field fields[] = {
        {kTime, 0, 2.5f, "time"},
        {kRetro, 0, 0.31f, "scanLines"},
        {kRetro, 4, 0.0042f, "rgbShift"},
        {kRetro, 8, 0.071f, "noise"},
        {kRetro, 12, 0.033f, "flicker"},
        {kRetro, 16, 0.85f, "opacity"},
        {kFocusBand, 0, 0.71f, "centerY"},
        {kFocusBand, 4, 0.07f + 0.02f, "bandHeight"},
        {kFocusBand, 8, 1.0f, "active"},
        {kFocusBand, 12, 0.03f, "edgeWidth"},
        {kExplosion, 0, 0.4f, "centerX"},
        {kExplosion, 4, 0.6f, "centerY"},
        {kExplosion, 8, 0.25f, "age"},
        {kExplosion, 12, 1.0f, "active"},
        {kRuler, 0, 0.63f, "rulerX"},
        {kRuler, 4, 0.71f, "rulerY"},
        {kRuler, 8, 0.07f, "height"},
        {kRuler, 12, 2.5f, "zoom"},
        {kRuler, 16, 1.0f, "enabled"},
        {kSmartFocus, 0, 0.125f, "minX"},
        {kSmartFocus, 4, 0.25f, "minY"},
        {kSmartFocus, 8, 0.625f, "maxX"},
        {kSmartFocus, 12, 0.5f, "maxY"},
        {kSmartFocus, 16, 0.45f, "blurStrength"},
        {kSmartFocus, 20, 0.035f, "fadeWidth"},
        {kSmartFocus, 24, 1.0f, "enabled"},
        {kSmartFocus, 28, 2.0f, "effectMode"},
        {kSmartFocus, 32, 2.5f, "time"},
        {kSmartFocus, 36, 0.0f, "zero"},
        {kSmartFocus, 40, 0.0f, "zero"},
        {kSmartFocus, 44, 0.0f, "zero"},
        {kDimmer, 0, -0.25f, "brightness"},
        {kDimmer, 4, 1.0f, "enabled"},
        {kDimmer, 8, 0.0f, "zero"},
        {kDimmer, 12, 0.0f, "zero"},
        {kColorBlind, 0, 3.0f, "filterType"},
        {kColorBlind, 4, 0.65f, "intensity"},
        {kColorBlind, 8, 1.0f, "enabled"},
        {kColorBlind, 12, 0.0f, "zero"},
        {kSpotlight, 0, 0.21f, "centerX"},
        {kSpotlight, 4, 0.38f, "centerY"},
        {kSpotlight, 8, 0.21f, "radius"},
        {kSpotlight, 12, 0.03f, "borderWidth"},
        {kSpotlight, 16, 0.55f, "dimAmount"},
        {kSpotlight, 20, 1.0f, "enabled"},
        {kSpotlight, 24, 4.0f, "effectMode"},
        {kSpotlight, 28, 2.5f, "time"},
        {kDyslexia, 0, 5.0f, "tintColor"},
        {kDyslexia, 4, 0.36f, "tintStrength"},
        {kDyslexia, 8, 0.0f, "zero"},
        {kDyslexia, 12, 1.0f, "lineGuide"},
        {kDyslexia, 16, 0.71f, "lineY"},
        {kDyslexia, 20, 1.0f, "enabled"},
        {kDyslexia, 24, 0.0f, "zero"},
        {kDyslexia, 28, 0.0f, "zero"},
        {kBreath, 0, 1.0f, "phase"},
        {kBreath, 4, 2.0f, "style"},
        {kBreath, 8, 0.46f, "intensity"},
        {kBreath, 12, 6.0f, "breathsPerMinute"},
        {kBreath, 16, 1.0f, "enabled"},
        {kBreath, 20, 0.0f, "zero"},
        {kBreath, 24, 0.0f, "zero"},
        {kBreath, 28, 0.0f, "zero"},
        {kFocusEffect, 0, 4.0f, "effect"},
        {kFocusEffect, 4, 0.15f, "glitchAmount"},
        {kFocusEffect, 8, 0.26f, "dimAmount"},
        {kFocusEffect, 12, 0.37f, "desatAmount"},
        {kFocusEffect, 16, 0.3f, "tuning"},
        {kFocusEffect, 20, 1.0f, "enabled"},
        {kFocusEffect, 24, 0.0f, "zero"},
        {kFocusEffect, 28, 0.0f, "zero"},
    };
    for (const Field& field : fields) {
        EXPECT_EQ(floatAt(frame, field.binding, field.offset), field.expected)
            << "binding " << field.binding << " offset " << field.offset << " (" << field.name
            << ")";
    }
}

TEST_F(FrameParameterBuilderTest, SwitchesOffTravelAsZero) {
    // Defaults: every feature off, so each enabled / active field must read 0.0.
    const FrameParameters frame = build();
    EXPECT_EQ(floatAt(frame, kFocusBand, 8), 0.0f);
    EXPECT_EQ(floatAt(frame, kRuler, 16), 0.0f);
    EXPECT_EQ(floatAt(frame, kSmartFocus, 24), 0.0f);
    EXPECT_EQ(floatAt(frame, kDimmer, 4), 0.0f);
    EXPECT_EQ(floatAt(frame, kColorBlind, 8), 0.0f);
    EXPECT_EQ(floatAt(frame, kSpotlight, 20), 0.0f);
    EXPECT_EQ(floatAt(frame, kDyslexia, 12), 0.0f);
    EXPECT_EQ(floatAt(frame, kDyslexia, 20), 0.0f);
    EXPECT_EQ(floatAt(frame, kBreath, 16), 0.0f);
    EXPECT_EQ(floatAt(frame, kFocusEffect, 20), 0.0f);
    for (std::size_t offset = 0; offset < 16; offset += 4) {
        EXPECT_EQ(floatAt(frame, kExplosion, offset), 0.0f) << "no explosion, offset " << offset;
    }
}

TEST_F(FrameParameterBuilderTest, RetroOpacityIsCarriedWithEverySwitchOff) {
    settings.isRetroEffectEnabled = true;  // the master switch plays no part
    settings.scanLineIntensity = 0.4f;
    settings.rgbShiftAmount = 0.01f;
    settings.noiseAmount = 0.2f;
    settings.flickerIntensity = 0.1f;
    settings.overlayOpacity = 0.6f;
    const FrameParameters frame = build();
    for (std::size_t offset = 0; offset < 16; offset += 4) {
        EXPECT_EQ(floatAt(frame, kRetro, offset), 0.0f) << "offset " << offset;
    }
    EXPECT_EQ(floatAt(frame, kRetro, 16), 0.6f);
}

TEST_F(FrameParameterBuilderTest, OneFrameTimeInEveryTimedBlock) {
    inputs.now = 123456.789012345;  // needs rounding to reach float
    const FrameParameters frame = build();
    const float t = static_cast<float>(inputs.now);
    EXPECT_EQ(floatAt(frame, kTime, 0), t);
    EXPECT_EQ(floatAt(frame, kSmartFocus, 32), t);
    EXPECT_EQ(floatAt(frame, kSpotlight, 28), t);
}

// --- Which pointer the band and the ruler follow --------------------------------------------

TEST_F(FrameParameterBuilderTest, CaretKnownAtStartHoldsBandAndRulerWhenNothingMoves) {
    placeMouse(0.2f, 0.502f);  // inside the threshold of the initial 0.5
    placeCaret(0.8f, 0.503f);
    const FrameParameters frame = build();
    EXPECT_TRUE(state.useTextCursor);
    EXPECT_EQ(bandCenter(frame), 0.503f);
    EXPECT_EQ(floatAt(frame, kRuler, 0), 0.8f);
    EXPECT_EQ(floatAt(frame, kRuler, 4), 0.503f);
    EXPECT_EQ(floatAt(frame, kDyslexia, 16), 0.503f);
}

TEST_F(FrameParameterBuilderTest, CaretMoveWithinThresholdDoesNotTakeOverFromMouse) {
    placeCaret(0.6f, 0.5f);
    placeMouse(0.3f, 0.8f);  // the mouse moves, the caret does not
    build();
    ASSERT_FALSE(state.useTextCursor);

    placeCaret(0.6f, 0.504f);  // mouse still
    FrameParameters frame = build();
    EXPECT_FALSE(state.useTextCursor);
    EXPECT_EQ(bandCenter(frame), 0.8f);
    EXPECT_EQ(floatAt(frame, kRuler, 4), 0.8f);

    placeCaret(0.6f, 0.510f);  // 0.006 further: now it counts
    frame = build();
    EXPECT_TRUE(state.useTextCursor);
    EXPECT_EQ(bandCenter(frame), 0.510f);
}

TEST_F(FrameParameterBuilderTest, CaretWinsWhenBothMoveInTheSameFrame) {
    placeCaret(0.6f, 0.5f);
    placeMouse(0.3f, 0.2f);
    build();
    ASSERT_FALSE(state.useTextCursor);

    placeCaret(0.6f, 0.506f);
    placeMouse(0.3f, 0.5f);  // 0.3 in the same frame
    const FrameParameters frame = build();
    EXPECT_TRUE(state.useTextCursor);
    EXPECT_EQ(bandCenter(frame), 0.506f);
    EXPECT_EQ(state.lastMouseY, 0.5f);
    EXPECT_EQ(state.lastCursorY, 0.506f);
}

TEST_F(FrameParameterBuilderTest, MovementEqualToThresholdDoesNotCount) {
    // A threshold and moves that are exact in float, so equality is really equality.
    state.mouseMovementThreshold = 0.25f;
    placeCaret(0.6f, 0.5f);
    placeMouse(0.3f, 0.75f);
    build();
    EXPECT_TRUE(state.useTextCursor);

    placeMouse(0.3f, 0.75f + 0.25f + 1.0f / 1024);
    build();
    EXPECT_FALSE(state.useTextCursor);
}

TEST_F(FrameParameterBuilderTest, WithoutCaretMouseLeadsWhateverTheFollowSwitches) {
    for (const bool follow : {true, false}) {
        SCOPED_TRACE(follow ? "following the caret" : "not following the caret");
        settings.focusFollowsCursor = follow;
        settings.rulerFollowsCursor = follow;
        state = RendererState{};             // useTextCursor starts true
        inputs.caret = {0.9f, 0.9f, false};  // a stale position from before the caret was lost
        placeMouse(0.3f, 0.5f);

        const FrameParameters frame = build();
        EXPECT_EQ(bandCenter(frame), 0.5f);
        EXPECT_EQ(floatAt(frame, kRuler, 0), 0.3f);
        EXPECT_EQ(floatAt(frame, kRuler, 4), 0.5f);
        EXPECT_EQ(floatAt(frame, kDyslexia, 16), 0.5f);
        EXPECT_EQ(state.lastCursorY, 0.5f) << "a stale caret is not remembered";
    }
}

TEST_F(FrameParameterBuilderTest, FollowSwitchesOffKeepBandAndRulerOnMouse) {
    settings.focusFollowsCursor = false;
    placeMouse(0.3f, 0.4f);
    placeCaret(0.7f, 0.9f);
    FrameParameters frame = build();
    EXPECT_TRUE(state.useTextCursor);
    EXPECT_EQ(bandCenter(frame), 0.4f);
    EXPECT_EQ(floatAt(frame, kRuler, 4), 0.9f) << "the ruler has its own switch";

    settings.focusFollowsCursor = true;
    settings.rulerFollowsCursor = false;
    frame = build();
    EXPECT_EQ(bandCenter(frame), 0.9f);
    EXPECT_EQ(floatAt(frame, kRuler, 0), 0.3f);
    EXPECT_EQ(floatAt(frame, kRuler, 4), 0.4f);
}

TEST_F(FrameParameterBuilderTest, ReturningCaretIsComparedWithTheCaretLastSeen) {
    placeCaret(0.6f, 0.3f);
    build();
    ASSERT_TRUE(state.useTextCursor);

    inputs.caret = {0.6f, 0.7f, false};  // caret lost; its stale y must not be remembered
    placeMouse(0.5f, 0.8f);
    build();
    ASSERT_FALSE(state.useTextCursor);
    EXPECT_EQ(state.lastCursorY, 0.3f);

    placeCaret(0.6f, 0.3f);  // back where it was last seen: no movement
    FrameParameters frame = build();
    EXPECT_FALSE(state.useTextCursor);
    EXPECT_EQ(bandCenter(frame), 0.8f);

    loseCaret();
    build();
    placeCaret(0.6f, 0.45f);  // back somewhere else: it takes over at once
    frame = build();
    EXPECT_TRUE(state.useTextCursor);
    EXPECT_EQ(bandCenter(frame), 0.45f);
}

TEST_F(FrameParameterBuilderTest, FirstCaretAfterStartIsComparedWithHalf) {
    placeMouse(0.5f, 0.9f);
    build();  // the mouse leads, no caret has ever been seen
    ASSERT_FALSE(state.useTextCursor);
    placeCaret(0.5f, 0.5f + 1.0f / 512);  // within the threshold of 0.5
    EXPECT_EQ(bandCenter(build()), 0.9f);
}

// --- Gaze ------------------------------------------------------------------------------------

TEST_F(FrameParameterBuilderTest, DetectedFaceLeadsTheBandButNeverTheRulerOrSpotlight) {
    settings.isGazeTrackingEnabled = true;
    settings.isFocusEnabled = true;
    inputs.gaze = {true, 0.25f};
    placeMouse(0.1f, 0.6f);
    placeCaret(0.7f, 0.9f);
    const FrameParameters frame = build();
    EXPECT_EQ(bandCenter(frame), 0.25f);
    EXPECT_EQ(floatAt(frame, kRuler, 0), 0.7f);
    EXPECT_EQ(floatAt(frame, kRuler, 4), 0.9f);
    EXPECT_EQ(floatAt(frame, kDyslexia, 16), 0.9f);
    EXPECT_EQ(floatAt(frame, kSpotlight, 0), 0.1f);
    EXPECT_EQ(floatAt(frame, kSpotlight, 4), 0.6f);
}

TEST_F(FrameParameterBuilderTest, GazeWithoutFaceFallsBackToPointers) {
    settings.isGazeTrackingEnabled = true;
    inputs.gaze = {false, 0.25f};
    placeCaret(0.7f, 0.9f);
    FrameParameters frame = build();
    EXPECT_EQ(bandCenter(frame), 0.9f);
    EXPECT_EQ(floatAt(frame, kFocusBand, 8), 0.0f);

    settings.isFocusEnabled = true;
    frame = build();
    EXPECT_EQ(floatAt(frame, kFocusBand, 8), 1.0f);
}

TEST_F(FrameParameterBuilderTest, FaceActivatesTheBandButNotTheFocusEffect) {
    settings.isGazeTrackingEnabled = true;
    settings.isFocusEnabled = false;
    inputs.gaze = {true, 0.25f};
    const FrameParameters frame = build();
    EXPECT_EQ(floatAt(frame, kFocusBand, 8), 1.0f);
    EXPECT_EQ(floatAt(frame, kFocusEffect, 20), 0.0f);
}

TEST_F(FrameParameterBuilderTest, FaceIsIgnoredWhileGazeTrackingIsOff) {
    inputs.gaze = {true, 0.25f};
    placeMouse(0.5f, 0.7f);
    const FrameParameters frame = build();
    EXPECT_EQ(bandCenter(frame), 0.7f);
    EXPECT_EQ(floatAt(frame, kFocusBand, 8), 0.0f);
}

// --- Band height -------------------------------------------------------------------------------

TEST_F(FrameParameterBuilderTest, RulerMakesTheBandTallerEvenWithFocusOff) {
    settings.isReadingRulerEnabled = true;
    EXPECT_NEAR(floatAt(build(), kFocusBand, 4), 0.08f, 1e-7f) << "default ruler height";

    // 0.08 + 0.02 rounds differently in float and in double; the band height is float.
    settings.readingRulerHeight = 0.08f;
    const float expected = 0.08f + 0.02f;
    ASSERT_NE(expected, static_cast<float>(static_cast<double>(0.08f) + 0.02));
    EXPECT_EQ(floatAt(build(), kFocusBand, 4), expected);
}

TEST_F(FrameParameterBuilderTest, BandHeightIsFocusModeHeightWithoutRuler) {
    settings.focusModeHeight = 0.18f;
    settings.readingRulerHeight = 0.04f;
    EXPECT_EQ(floatAt(build(), kFocusBand, 4), 0.18f);
}

// --- Explosion -------------------------------------------------------------------------------

TEST_F(FrameParameterBuilderTest, ExplosionShowsUntilSixTenthsThenIsGoneForGood) {
    state.currentExplosion = Explosion{0.3f, 0.7f, 10.0};
    inputs.now = 10.59;
    FrameParameters frame = build();
    EXPECT_EQ(floatAt(frame, kExplosion, 0), 0.3f);
    EXPECT_EQ(floatAt(frame, kExplosion, 4), 0.7f);
    EXPECT_EQ(floatAt(frame, kExplosion, 8), static_cast<float>(10.59) - 10.0f);
    EXPECT_EQ(floatAt(frame, kExplosion, 12), 1.0f);
    EXPECT_TRUE(state.currentExplosion.has_value());

    inputs.now = 10.6;
    frame = build();
    EXPECT_EQ(frame.explosion, ExplosionParams{});
    EXPECT_FALSE(state.currentExplosion.has_value());

    inputs.now = 10.3;  // even a frame inside the old lifetime shows nothing now
    EXPECT_EQ(build().explosion, ExplosionParams{});
}

// Near 1000 s floats are 1/16384 apart. The birth time 999.99997 rounds up to 1000.0f, so the
// float age (t - 1000.0f = 9830/16384 = 0.59998) is under 0.6 while the double age
// (0.6000056) has reached it: the frame still shows the explosion, which is then forgotten.
TEST_F(FrameParameterBuilderTest, ExplosionLastShownWhenOnlyDoubleAgeReachedLifetime) {
    state.currentExplosion = Explosion{0.5f, 0.5f, 999.99997};
    inputs.now = 1000.0 + 9830.0 / 16384;
    ASSERT_EQ(static_cast<float>(999.99997), 1000.0f);
    const FrameParameters frame = build();
    EXPECT_EQ(floatAt(frame, kExplosion, 8), 9830.0f / 16384);
    EXPECT_EQ(floatAt(frame, kExplosion, 12), 1.0f);
    EXPECT_FALSE(state.currentExplosion.has_value());
    EXPECT_EQ(build().explosion, ExplosionParams{});
}

// Near 100000 s floats are 1/128 apart. The birth time 100000.003 rounds down to 100000.0f, so
// the float age (77/128 = 0.6016) has reached 0.6 while the double age (0.5986) has not: the
// frame shows nothing, but the explosion is forgotten only by the next frame.
TEST_F(FrameParameterBuilderTest, ExplosionHiddenButKeptWhenOnlyFloatAgeReachedLifetime) {
    state.currentExplosion = Explosion{0.5f, 0.5f, 100000.003};
    inputs.now = 100000.0 + 77.0 / 128;
    ASSERT_EQ(static_cast<float>(100000.003), 100000.0f);
    EXPECT_EQ(build().explosion, ExplosionParams{});
    EXPECT_TRUE(state.currentExplosion.has_value());

    inputs.now += 1.0 / 60;
    EXPECT_EQ(build().explosion, ExplosionParams{});
    EXPECT_FALSE(state.currentExplosion.has_value());
}

// --- Smart focus rectangle ---------------------------------------------------------------------

TEST_F(FrameParameterBuilderTest, NoWindowGivesASpeckAtTheCentre) {
    inputs.window = {false, {0.0, 0.0, 1.0, 1.0}};  // last known bounds, not to be used
    const FrameParameters frame = build();
    EXPECT_EQ(floatAt(frame, kSmartFocus, 0), 0.5f);
    EXPECT_EQ(floatAt(frame, kSmartFocus, 4), 0.5f);
    EXPECT_EQ(floatAt(frame, kSmartFocus, 8), 0.501f);
    EXPECT_EQ(floatAt(frame, kSmartFocus, 12), 0.501f);
}

TEST_F(FrameParameterBuilderTest, NegativeSizeRectIsReadWithEdgesSwapped) {
    inputs.window = {true, {0.7, 0.9, -0.6, -0.45}};
    const FrameParameters frame = build();
    EXPECT_EQ(floatAt(frame, kSmartFocus, 0), static_cast<float>(0.7 - 0.6));
    EXPECT_EQ(floatAt(frame, kSmartFocus, 4), static_cast<float>(0.9 - 0.45));
    EXPECT_EQ(floatAt(frame, kSmartFocus, 8), 0.7f);
    EXPECT_EQ(floatAt(frame, kSmartFocus, 12), 0.9f);
}

TEST_F(FrameParameterBuilderTest, RectEdgesAreSummedInDoubleBeforeRounding) {
    // 0.1 + 0.6 and 0.2 + 0.15 round to different floats when summed in float.
    inputs.window = {true, {0.1, 0.2, 0.6, 0.15}};
    const float maxX = static_cast<float>(0.1 + 0.6);
    const float maxY = static_cast<float>(0.2 + 0.15);
    ASSERT_NE(maxX, 0.1f + 0.6f);
    ASSERT_NE(maxY, 0.2f + 0.15f);
    const FrameParameters frame = build();
    EXPECT_EQ(floatAt(frame, kSmartFocus, 8), maxX);
    EXPECT_EQ(floatAt(frame, kSmartFocus, 12), maxY);
}

// --- Breathing phase ---------------------------------------------------------------------------

TEST_F(FrameParameterBuilderTest, BreathingPhaseFollowsTheBreathCycle) {
    settings.breathsPerMinute = 6.0f;  // a 10 s breath
    inputs.now = 0.0;
    EXPECT_EQ(floatAt(build(), kBreath, 0), 0.5f);
    inputs.now = 2.5;
    EXPECT_FLOAT_EQ(floatAt(build(), kBreath, 0), 1.0f);
    inputs.now = 5.0;
    EXPECT_NEAR(floatAt(build(), kBreath, 0), 0.5f, 1e-6f);
    inputs.now = 7.5;
    EXPECT_NEAR(floatAt(build(), kBreath, 0), 0.0f, 1e-6f);
    inputs.now = 10.0;
    EXPECT_NEAR(floatAt(build(), kBreath, 0), 0.5f, 1e-6f);

    settings.breathsPerMinute = 12.0f;  // a 5 s breath
    inputs.now = 1.25;
    EXPECT_FLOAT_EQ(floatAt(build(), kBreath, 0), 1.0f);
}

TEST_F(FrameParameterBuilderTest, BreathingPhaseStaysExactAfterLongUptime) {
    // Evaluated in single precision the angle would be off by hundredths of a radian here.
    settings.breathsPerMinute = 6.0f;
    inputs.now = 1000002.5;
    EXPECT_NEAR(floatAt(build(), kBreath, 0), 1.0f, 1e-6f);
}

TEST_F(FrameParameterBuilderTest, ZeroBreathsPerMinuteHoldsPhaseAtHalf) {
    settings.breathsPerMinute = 0.0f;
    for (const double now : {0.0, 2.5, 7.5, 86400.25}) {
        inputs.now = now;
        const FrameParameters frame = build();
        EXPECT_EQ(floatAt(frame, kBreath, 0), 0.5f) << "at " << now;
        EXPECT_EQ(floatAt(frame, kBreath, 12), 0.0f);
    }
}

}  // namespace
}  // namespace glimmora
