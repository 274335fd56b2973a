#pragma once

#include <bit>
#include <cstddef>
#include <limits>
#include <span>
#include <type_traits>

namespace glimmora {

// The twelve blocks the fragment shader reads each frame, one struct per block, bound at the
// index named by its kBindingIndex. Every field is a 32-bit float and the blocks are uploaded
// byte for byte, so each struct's layout is the wire format: fields in shader order, no gaps,
// padding as explicit zero fields. The shader declares each block as a std140 uniform block of
// plain floats, whose layout (4-byte scalars, packed) is exactly this one.
//
// Conventions of the values: a switch is 1.0 (on) or 0.0 (off); an option index travels as the
// same number in float; positions and sizes are fractions of the main display, x 0 at the left
// and y 0 at the top (the quad's texture coordinates); `time` is the frame time in seconds.

static_assert(std::endian::native == std::endian::little,
              "the blocks are uploaded as the host lays them out, which must be little-endian");
static_assert(std::numeric_limits<float>::is_iec559 && sizeof(float) == 4,
              "every block field must be a 32-bit IEEE-754 float");

/// Binding 1: the frame time, the same value as every other block's `time` field.
struct TimeParams {
    static constexpr int kBindingIndex = 1;
    float time = 0;
    bool operator==(const TimeParams&) const = default;
};

/// Binding 2: retro effects. Each amount is already zero when its switch is off.
struct RetroParams {
    static constexpr int kBindingIndex = 2;
    float scanLines = 0;
    float rgbShift = 0;
    float noise = 0;
    float flicker = 0;
    float opacity = 0;
    bool operator==(const RetroParams&) const = default;
};

/// Binding 3: the horizontal band that stays clear in focus mode.
struct FocusBandParams {
    static constexpr int kBindingIndex = 3;
    float centerY = 0;
    float bandHeight = 0;
    float active = 0;
    float edgeWidth = 0;
    bool operator==(const FocusBandParams&) const = default;
};

/// Binding 4: the click explosion; all zero while none is shown.
struct ExplosionParams {
    static constexpr int kBindingIndex = 4;
    float centerX = 0;
    float centerY = 0;
    float age = 0;  // seconds since the click
    float active = 0;
    bool operator==(const ExplosionParams&) const = default;
};

/// Binding 5: the magnifying reading ruler.
struct ReadingRulerParams {
    static constexpr int kBindingIndex = 5;
    float rulerX = 0;
    float rulerY = 0;
    float height = 0;
    float zoom = 0;
    float enabled = 0;
    bool operator==(const ReadingRulerParams&) const = default;
};

/// Binding 6: smart focus, the frontmost window's rectangle kept sharp. Padded to a whole
/// number of 16-byte vectors.
struct SmartFocusParams {
    static constexpr int kBindingIndex = 6;
    float minX = 0;
    float minY = 0;
    float maxX = 0;
    float maxY = 0;
    float blurStrength = 0;
    float fadeWidth = 0;
    float enabled = 0;
    float effectMode = 0;
    float time = 0;
    float zero0 = 0;
    float zero1 = 0;
    float zero2 = 0;
    bool operator==(const SmartFocusParams&) const = default;
};

/// Binding 7: screen dimmer; `brightness` is a signed offset, negative darkens.
struct ScreenDimmerParams {
    static constexpr int kBindingIndex = 7;
    float brightness = 0;
    float enabled = 0;
    float zero0 = 0;
    float zero1 = 0;
    bool operator==(const ScreenDimmerParams&) const = default;
};

/// Binding 8: colour-vision filter.
struct ColorBlindParams {
    static constexpr int kBindingIndex = 8;
    float filterType = 0;
    float intensity = 0;
    float enabled = 0;
    float zero0 = 0;
    bool operator==(const ColorBlindParams&) const = default;
};

/// Binding 9: spotlight around the mouse pointer (never the caret or the gaze).
struct CursorSpotlightParams {
    static constexpr int kBindingIndex = 9;
    float centerX = 0;
    float centerY = 0;
    float radius = 0;
    float borderWidth = 0;
    float dimAmount = 0;
    float enabled = 0;
    float effectMode = 0;
    float time = 0;
    bool operator==(const CursorSpotlightParams&) const = default;
};

/// Binding 10: dyslexia tint and reading line guide.
struct DyslexiaParams {
    static constexpr int kBindingIndex = 10;
    float tintColor = 0;
    float tintStrength = 0;
    float zero0 = 0;
    float lineGuide = 0;
    float lineY = 0;
    float enabled = 0;
    float zero1 = 0;
    float zero2 = 0;
    bool operator==(const DyslexiaParams&) const = default;
};

/// Binding 11: breath pacer; `phase` runs 0.5 → 1 → 0 → 0.5 over one breath.
struct BreathPacerParams {
    static constexpr int kBindingIndex = 11;
    float phase = 0;
    float style = 0;
    float intensity = 0;
    float breathsPerMinute = 0;
    float enabled = 0;
    float zero0 = 0;
    float zero1 = 0;
    float zero2 = 0;
    bool operator==(const BreathPacerParams&) const = default;
};

/// Binding 12: what focus mode does outside the band.
struct FocusEffectParams {
    static constexpr int kBindingIndex = 12;
    float effect = 0;
    float glitchAmount = 0;
    float dimAmount = 0;
    float desatAmount = 0;
    float tuning = 0;
    float enabled = 0;
    float zero0 = 0;
    float zero1 = 0;
    bool operator==(const FocusEffectParams&) const = default;
};

// The layout checks: any drift here would silently scramble what the shader sees.
#define GLIMMORA_CHECK_BLOCK(Type, size)                                                 \
    static_assert(sizeof(Type) == (size), #Type " must be exactly " #size " bytes");     \
    static_assert(std::is_standard_layout_v<Type> && std::is_trivially_copyable_v<Type>, \
                  #Type " must be uploadable as raw bytes")
#define GLIMMORA_CHECK_FIELD(Type, field, offset) \
    static_assert(offsetof(Type, field) == (offset), #Type "::" #field " must sit at " #offset)

GLIMMORA_CHECK_BLOCK(TimeParams, 4);
GLIMMORA_CHECK_FIELD(TimeParams, time, 0);

GLIMMORA_CHECK_BLOCK(RetroParams, 20);
GLIMMORA_CHECK_FIELD(RetroParams, scanLines, 0);
GLIMMORA_CHECK_FIELD(RetroParams, rgbShift, 4);
GLIMMORA_CHECK_FIELD(RetroParams, noise, 8);
GLIMMORA_CHECK_FIELD(RetroParams, flicker, 12);
GLIMMORA_CHECK_FIELD(RetroParams, opacity, 16);

GLIMMORA_CHECK_BLOCK(FocusBandParams, 16);
GLIMMORA_CHECK_FIELD(FocusBandParams, centerY, 0);
GLIMMORA_CHECK_FIELD(FocusBandParams, bandHeight, 4);
GLIMMORA_CHECK_FIELD(FocusBandParams, active, 8);
GLIMMORA_CHECK_FIELD(FocusBandParams, edgeWidth, 12);

GLIMMORA_CHECK_BLOCK(ExplosionParams, 16);
GLIMMORA_CHECK_FIELD(ExplosionParams, centerX, 0);
GLIMMORA_CHECK_FIELD(ExplosionParams, centerY, 4);
GLIMMORA_CHECK_FIELD(ExplosionParams, age, 8);
GLIMMORA_CHECK_FIELD(ExplosionParams, active, 12);

GLIMMORA_CHECK_BLOCK(ReadingRulerParams, 20);
GLIMMORA_CHECK_FIELD(ReadingRulerParams, rulerX, 0);
GLIMMORA_CHECK_FIELD(ReadingRulerParams, rulerY, 4);
GLIMMORA_CHECK_FIELD(ReadingRulerParams, height, 8);
GLIMMORA_CHECK_FIELD(ReadingRulerParams, zoom, 12);
GLIMMORA_CHECK_FIELD(ReadingRulerParams, enabled, 16);

GLIMMORA_CHECK_BLOCK(SmartFocusParams, 48);
GLIMMORA_CHECK_FIELD(SmartFocusParams, minX, 0);
GLIMMORA_CHECK_FIELD(SmartFocusParams, minY, 4);
GLIMMORA_CHECK_FIELD(SmartFocusParams, maxX, 8);
GLIMMORA_CHECK_FIELD(SmartFocusParams, maxY, 12);
GLIMMORA_CHECK_FIELD(SmartFocusParams, blurStrength, 16);
GLIMMORA_CHECK_FIELD(SmartFocusParams, fadeWidth, 20);
GLIMMORA_CHECK_FIELD(SmartFocusParams, enabled, 24);
GLIMMORA_CHECK_FIELD(SmartFocusParams, effectMode, 28);
GLIMMORA_CHECK_FIELD(SmartFocusParams, time, 32);
GLIMMORA_CHECK_FIELD(SmartFocusParams, zero0, 36);
GLIMMORA_CHECK_FIELD(SmartFocusParams, zero1, 40);
GLIMMORA_CHECK_FIELD(SmartFocusParams, zero2, 44);

GLIMMORA_CHECK_BLOCK(ScreenDimmerParams, 16);
GLIMMORA_CHECK_FIELD(ScreenDimmerParams, brightness, 0);
GLIMMORA_CHECK_FIELD(ScreenDimmerParams, enabled, 4);
GLIMMORA_CHECK_FIELD(ScreenDimmerParams, zero0, 8);
GLIMMORA_CHECK_FIELD(ScreenDimmerParams, zero1, 12);

GLIMMORA_CHECK_BLOCK(ColorBlindParams, 16);
GLIMMORA_CHECK_FIELD(ColorBlindParams, filterType, 0);
GLIMMORA_CHECK_FIELD(ColorBlindParams, intensity, 4);
GLIMMORA_CHECK_FIELD(ColorBlindParams, enabled, 8);
GLIMMORA_CHECK_FIELD(ColorBlindParams, zero0, 12);

GLIMMORA_CHECK_BLOCK(CursorSpotlightParams, 32);
GLIMMORA_CHECK_FIELD(CursorSpotlightParams, centerX, 0);
GLIMMORA_CHECK_FIELD(CursorSpotlightParams, centerY, 4);
GLIMMORA_CHECK_FIELD(CursorSpotlightParams, radius, 8);
GLIMMORA_CHECK_FIELD(CursorSpotlightParams, borderWidth, 12);
GLIMMORA_CHECK_FIELD(CursorSpotlightParams, dimAmount, 16);
GLIMMORA_CHECK_FIELD(CursorSpotlightParams, enabled, 20);
GLIMMORA_CHECK_FIELD(CursorSpotlightParams, effectMode, 24);
GLIMMORA_CHECK_FIELD(CursorSpotlightParams, time, 28);

GLIMMORA_CHECK_BLOCK(DyslexiaParams, 32);
GLIMMORA_CHECK_FIELD(DyslexiaParams, tintColor, 0);
GLIMMORA_CHECK_FIELD(DyslexiaParams, tintStrength, 4);
GLIMMORA_CHECK_FIELD(DyslexiaParams, zero0, 8);
GLIMMORA_CHECK_FIELD(DyslexiaParams, lineGuide, 12);
GLIMMORA_CHECK_FIELD(DyslexiaParams, lineY, 16);
GLIMMORA_CHECK_FIELD(DyslexiaParams, enabled, 20);
GLIMMORA_CHECK_FIELD(DyslexiaParams, zero1, 24);
GLIMMORA_CHECK_FIELD(DyslexiaParams, zero2, 28);

GLIMMORA_CHECK_BLOCK(BreathPacerParams, 32);
GLIMMORA_CHECK_FIELD(BreathPacerParams, phase, 0);
GLIMMORA_CHECK_FIELD(BreathPacerParams, style, 4);
GLIMMORA_CHECK_FIELD(BreathPacerParams, intensity, 8);
GLIMMORA_CHECK_FIELD(BreathPacerParams, breathsPerMinute, 12);
GLIMMORA_CHECK_FIELD(BreathPacerParams, enabled, 16);
GLIMMORA_CHECK_FIELD(BreathPacerParams, zero0, 20);
GLIMMORA_CHECK_FIELD(BreathPacerParams, zero1, 24);
GLIMMORA_CHECK_FIELD(BreathPacerParams, zero2, 28);

GLIMMORA_CHECK_BLOCK(FocusEffectParams, 32);
GLIMMORA_CHECK_FIELD(FocusEffectParams, effect, 0);
GLIMMORA_CHECK_FIELD(FocusEffectParams, glitchAmount, 4);
GLIMMORA_CHECK_FIELD(FocusEffectParams, dimAmount, 8);
GLIMMORA_CHECK_FIELD(FocusEffectParams, desatAmount, 12);
GLIMMORA_CHECK_FIELD(FocusEffectParams, tuning, 16);
GLIMMORA_CHECK_FIELD(FocusEffectParams, enabled, 20);
GLIMMORA_CHECK_FIELD(FocusEffectParams, zero0, 24);
GLIMMORA_CHECK_FIELD(FocusEffectParams, zero1, 28);

#undef GLIMMORA_CHECK_FIELD
#undef GLIMMORA_CHECK_BLOCK

/// All twelve blocks of one frame, as the renderer uploads them.
struct FrameParameters {
    static constexpr int kFirstBindingIndex = 1;
    static constexpr int kLastBindingIndex = 12;

    TimeParams time;
    RetroParams retro;
    FocusBandParams focusBand;
    ExplosionParams explosion;
    ReadingRulerParams readingRuler;
    SmartFocusParams smartFocus;
    ScreenDimmerParams screenDimmer;
    ColorBlindParams colorBlind;
    CursorSpotlightParams cursorSpotlight;
    DyslexiaParams dyslexia;
    BreathPacerParams breathPacer;
    FocusEffectParams focusEffect;

    /// The exact bytes to upload at fragment binding `index` (1 to 12): the block's whole
    /// struct, its size being the block's length. Empty for any other index. The view points
    /// into this object and is valid as long as it lives and is not moved from.
    std::span<const std::byte> bindingBytes(int index) const {
        switch (index) {
            case TimeParams::kBindingIndex:
                return bytesOf(time);
            case RetroParams::kBindingIndex:
                return bytesOf(retro);
            case FocusBandParams::kBindingIndex:
                return bytesOf(focusBand);
            case ExplosionParams::kBindingIndex:
                return bytesOf(explosion);
            case ReadingRulerParams::kBindingIndex:
                return bytesOf(readingRuler);
            case SmartFocusParams::kBindingIndex:
                return bytesOf(smartFocus);
            case ScreenDimmerParams::kBindingIndex:
                return bytesOf(screenDimmer);
            case ColorBlindParams::kBindingIndex:
                return bytesOf(colorBlind);
            case CursorSpotlightParams::kBindingIndex:
                return bytesOf(cursorSpotlight);
            case DyslexiaParams::kBindingIndex:
                return bytesOf(dyslexia);
            case BreathPacerParams::kBindingIndex:
                return bytesOf(breathPacer);
            case FocusEffectParams::kBindingIndex:
                return bytesOf(focusEffect);
            default:
                return {};
        }
    }

    bool operator==(const FrameParameters&) const = default;

private:
    template <typename Block>
    static std::span<const std::byte> bytesOf(const Block& block) {
        return std::as_bytes(std::span<const Block, 1>(&block, 1));
    }
};

}  // namespace glimmora
