#include "render/FrameParameterBuilder.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "settings/SettingsByName.h"

namespace glimmora {
namespace {

/// The floats the shader reads at `binding`, taken from the uploaded bytes rather than from the
/// struct, so that layout mistakes show up.
std::vector<float> floatsAt(const FrameParameters& frame, int binding) {
    const std::span<const std::byte> bytes = frame.bindingBytes(binding);
    std::vector<float> floats(bytes.size() / sizeof(float));
    if (!floats.empty()) {  // an unknown binding has no bytes, and memcpy takes no null
        std::memcpy(floats.data(), bytes.data(), floats.size() * sizeof(float));
    }
    EXPECT_EQ(bytes.size() % sizeof(float), 0u) << "binding " << binding;
    return floats;
}

class FrameParameterBuilderTest : public ::testing::Test {
protected:
    FrameParameters build() { return buildFrameParameters(settings, inputs, state); }

    /// An explosion born at `birth`, seen at `now`: shown with `shownAge` (-1: not shown), and
    /// whether it is still remembered afterwards.
    void expectExplosion(double birth, double now, float shownAge, bool kept) {
        SCOPED_TRACE(testing::Message() << "born at " << birth << ", now " << now);
        state.currentExplosion = Explosion{0.3f, 0.7f, birth};
        inputs.now = now;
        const ExplosionParams shown =
            shownAge < 0 ? ExplosionParams{} : ExplosionParams{0.3f, 0.7f, shownAge, 1.0f};
        EXPECT_EQ(build().explosion, shown);
        EXPECT_EQ(state.currentExplosion.has_value(), kept);
    }

    MemoryUserDefaults defaults;
    AppState settings{defaults};
    FrameInputs inputs;
    RendererState state;
};

// Every field of every block, with distinct values so that two swapped fields cannot pass, and
// every padding field zero.
TEST_F(FrameParameterBuilderTest, EveryBlockReachesTheShaderFieldByField) {
    // The spotlight's border width must not reach the shader: its border is fixed.
    const QString assignments = QStringLiteral(
        "isScanLinesEnabled=true scanLineIntensity=0.31 isRGBShiftEnabled=true "
        "rgbShiftAmount=0.0042 isNoiseEnabled=true noiseAmount=0.071 isFlickerEnabled=true "
        "flickerIntensity=0.033 overlayOpacity=0.85 isFocusEnabled=true "
        "isReadingRulerEnabled=true readingRulerHeight=0.08 readingRulerZoom=2.5 "
        "isSmartFocusEnabled=true smartFocusBlurStrength=0.45 smartFocusFadeWidth=0.035 "
        "smartFocusEffectMode=2 isScreenDimmerEnabled=true screenBrightness=-0.25 "
        "isColorBlindFilterEnabled=true colorBlindFilterType=3 "
        "colorBlindFilterIntensity=0.65 isCursorSpotlightEnabled=true "
        "cursorSpotlightRadius=0.22 cursorSpotlightDimAmount=0.55 "
        "cursorSpotlightEffectMode=4 cursorSpotlightBorderWidth=0.04 "
        "isDyslexiaAidsEnabled=true dyslexiaTintColor=2 dyslexiaTintStrength=0.36 "
        "dyslexiaLineGuide=true isBreathPacerEnabled=true breathPacerStyle=2 "
        "breathPacerIntensity=0.46 breathsPerMinute=6 focusModeEffect=4 "
        "focusModeGlitchAmount=0.15 focusModeDimAmount=0.26 focusModeDesatAmount=0.37");
    for (const QString& assignment : assignments.split(' ')) {
        const QStringList nameAndValue = assignment.split('=');
        ASSERT_TRUE(setSettingFromText(settings, nameAndValue[0], nameAndValue[1], nullptr))
            << assignment.toStdString();
    }
    inputs.mouse = {0.21f, 0.38f};
    inputs.caret = {0.63f, 0.71f, true, 0.03f};  // moved from the initial 0.5: the caret leads
    inputs.window = {true, {0.125, 0.25, 0.5, 0.25}};
    inputs.now = 2.5;  // a quarter of a 10 s breath
    state.currentExplosion = Explosion{0.4f, 0.6f, 2.25};
    // The band is the ruler's height and 0.02 more, added in float, not in double.
    const float bandHeight = 0.08f + 0.02f;
    ASSERT_NE(bandHeight, static_cast<float>(static_cast<double>(0.08f) + 0.02));

    const FrameParameters frame = build();
    const std::vector<std::vector<float>> expected = {
        {},  // binding 0 is the picture, not a block
        {2.5f},
        {0.31f, 0.0042f, 0.071f, 0.033f, 0.85f},
        {0.71f, bandHeight, 1, 0.03f},  // on the caret
        {0.4f, 0.6f, 0.25f, 1},
        {0.63f, 0.71f, 0.08f, 2.5f, 1},  // on the caret
        {0.125f, 0.25f, 0.625f, 0.5f, 0.45f, 0.035f, 1, 2, 2.5f, 0, 0, 0},
        {-0.25f, 1, 0, 0},
        {3, 0.65f, 1, 0},
        {0.21f, 0.38f, 0.22f, 0.03f, 0.55f, 1, 4, 2.5f},     // on the mouse, with the fixed border
        {2, 0.36f, 0, 1, 0.71f + 0.015f + 0.002f, 1, 0, 0},  // the line guide under the caret
        {1, 2, 0.46f, 6, 1, 0, 0, 0},                        // the breath at its peak
        {4, 0.15f, 0.26f, 0.37f, 0.3f, 1, 0, 0},
        {},  // no binding 13
    };
    for (int binding = 0; binding <= 13; ++binding) {
        EXPECT_EQ(floatsAt(frame, binding), expected[binding]) << "binding " << binding;
    }
}

TEST_F(FrameParameterBuilderTest, EachSwitchTurnsOnItsOwnFlagsOnly) {
    // Every on/off field of the frame, in this order.
    const auto flags = [](const FrameParameters& f) {
        return std::array{f.focusBand.active,        f.focusEffect.enabled,  f.readingRuler.enabled,
                          f.smartFocus.enabled,      f.screenDimmer.enabled, f.colorBlind.enabled,
                          f.cursorSpotlight.enabled, f.dyslexia.lineGuide,   f.dyslexia.enabled,
                          f.breathPacer.enabled,     f.explosion.active};
    };
    using Flags = std::array<float, 11>;
    const std::tuple<const char*, bool, Flags> cases[] = {
        {"isFocusEnabled", false, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // A face activates the band, not the focus effect, and only while gaze tracking is on.
        {"isGazeTrackingEnabled", true, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"isGazeTrackingEnabled", false, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"", true, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"isReadingRulerEnabled", false, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"isSmartFocusEnabled", false, {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"isScreenDimmerEnabled", false, {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0}},
        {"isColorBlindFilterEnabled", false, {0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}},
        {"isCursorSpotlightEnabled", false, {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}},
        {"dyslexiaLineGuide", false, {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"isDyslexiaAidsEnabled", false, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}},
        {"isBreathPacerEnabled", false, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0}},
    };
    for (const auto& [setting, face, on] : cases) {
        SCOPED_TRACE(testing::Message() << "'" << setting << "'" << (face ? " and a face" : ""));
        MemoryUserDefaults freshDefaults;
        AppState fresh(freshDefaults);
        setSettingFromText(fresh, QString::fromUtf8(setting), u"true", nullptr);  // "": nothing
        inputs.gaze = {face, 0.25f};
        EXPECT_EQ(flags(buildFrameParameters(fresh, inputs, state)), on);
    }
}

// Which pointer the band and the ruler follow. The mouse is always at x 0.3 and a caret at
// x 0.7, so the ruler's x tells which one it follows.
constexpr float kNoCaret = NAN;
enum Option { kNoBandFollow = 1, kNoRulerFollow = 2, kGaze = 4, kFace = 8 };

struct PointerCase {
    const char* name;
    std::vector<std::pair<float, float>> frames;  // mouse y and caret y, frame by frame
    float bandY;                                  // after the last frame
    bool rulerOnCaret;
    int options = 0;
};

class PointerSourceTest : public FrameParameterBuilderTest,
                          public ::testing::WithParamInterface<PointerCase> {};

TEST_P(PointerSourceTest, BandAndRulerFollowThePointerThatMovedLast) {
    const PointerCase& c = GetParam();
    settings.focusFollowsCursor = (c.options & kNoBandFollow) == 0;
    settings.rulerFollowsCursor = (c.options & kNoRulerFollow) == 0;
    settings.isGazeTrackingEnabled = (c.options & kGaze) != 0;
    inputs.gaze = {(c.options & kFace) != 0, 0.25f};
    FrameParameters frame;
    for (const auto& [mouseY, caretY] : c.frames) {
        inputs.mouse = {0.3f, mouseY};
        // A lost caret keeps a stale position, which must not be used or remembered.
        inputs.caret = std::isnan(caretY) ? FrameInputs::Caret{0.9f, 0.95f, false}
                                          : FrameInputs::Caret{0.7f, caretY, true};
        frame = build();
    }
    const auto& [mouseY, caretY] = c.frames.back();
    EXPECT_EQ(frame.focusBand.centerY, c.bandY);
    EXPECT_EQ(frame.readingRuler.rulerX, c.rulerOnCaret ? 0.7f : 0.3f);
    EXPECT_EQ(frame.readingRuler.rulerY, c.rulerOnCaret ? caretY : mouseY);
    if (c.rulerOnCaret) {
        EXPECT_GT(frame.dyslexia.lineY, frame.readingRuler.rulerY) << "under the caret's line";
    } else {
        EXPECT_EQ(frame.dyslexia.lineY, frame.readingRuler.rulerY);
    }
    EXPECT_EQ(frame.cursorSpotlight.centerX, 0.3f) << "the spotlight always follows the mouse";
    EXPECT_EQ(frame.cursorSpotlight.centerY, mouseY);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PointerSourceTest,
    ::testing::Values(
        // Both within the threshold of the initial 0.5: the caret known at start holds on.
        PointerCase{"CaretKnownAtStartLeads", {{0.502f, 0.503f}}, 0.503f, true},
        PointerCase{"SmallCaretMoveKeepsMouse", {{0.8f, 0.5f}, {0.8f, 0.504f}}, 0.8f, false},
        PointerCase{"CaretTakesOver", {{0.8f, 0.5f}, {0.8f, 0.504f}, {0.8f, 0.51f}}, 0.51f, true},
        PointerCase{"NoCaretMouseLeads", {{0.5f, kNoCaret}}, 0.5f, false},
        PointerCase{"BandUnfollowed", {{0.4f, 0.9f}}, 0.4f, true, kNoBandFollow},
        PointerCase{"RulerUnfollowed", {{0.4f, 0.9f}}, 0.9f, false, kNoRulerFollow},
        // A caret is compared with where it was last seen, however long ago.
        PointerCase{
            "CaretBackUnmoved", {{0.5f, 0.3f}, {0.8f, kNoCaret}, {0.8f, 0.3f}}, 0.8f, false},
        PointerCase{"CaretBackMoved", {{0.5f, 0.3f}, {0.8f, kNoCaret}, {0.8f, 0.45f}}, 0.45f, true},
        // A face leads the band, never the ruler, and only while gaze tracking is on.
        PointerCase{"FaceLeadsBand", {{0.6f, 0.9f}}, 0.25f, true, kGaze | kFace},
        PointerCase{"GazeWithoutFace", {{0.6f, 0.9f}}, 0.9f, true, kGaze},
        PointerCase{"FaceWithoutGaze", {{0.7f, kNoCaret}}, 0.7f, false, kFace}),
    [](const ::testing::TestParamInfo<PointerCase>& info) { return info.param.name; });

TEST_F(FrameParameterBuilderTest, WithoutRulerOrWindowBandIsTheFocusHeightAndTheRectASpeck) {
    settings.focusModeHeight = 0.18f;
    inputs.window = {false, {0, 0, 1, 1}};  // whatever bounds were known last
    const FrameParameters frame = build();
    EXPECT_EQ(frame.focusBand.bandHeight, 0.18f);
    const SmartFocusParams block = frame.smartFocus;
    EXPECT_EQ((std::array{block.minX, block.minY, block.maxX, block.maxY}),
              (std::array{0.5f, 0.5f, 0.501f, 0.501f}));
}

// Whether an explosion is over is judged once, in double, against 0.6 s: the frame that stops
// showing it is the frame that forgets it, whatever its float age says. Near 1000 s floats are
// 1/16384 apart, and 0.25 + 1e-8 rounds to 0.25f, so float and double ages disagree there.
TEST_F(FrameParameterBuilderTest, ExplosionEndsWhenItsDoubleAgeReachesTheLifetime) {
    const float lifetime = 0.6f;
    const float before = std::nextafter(lifetime, 0.0f);
    // Float age 9830/16384 is under 0.6, the double age has reached it.
    expectExplosion(999.99997, 1000.0 + 9830.0 / 16384, -1, false);
    // 0.6f itself is a little over 0.6.
    expectExplosion(0.25, 0.25f + lifetime, -1, false);
    expectExplosion(0.25 + 1e-8, 0.25f + before, before, true);
    expectExplosion(0.25 + 1e-8, 0.25f + lifetime, -1, false);
    // The double age is just under 0.6 while the float age is 0.6f: still shown.
    expectExplosion(0.25 + 3e-8, 0.25f + lifetime, lifetime, true);
}

}  // namespace
}  // namespace glimmora
