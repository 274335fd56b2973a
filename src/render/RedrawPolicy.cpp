#include "render/RedrawPolicy.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <iterator>

#include "render/GlPipeline.h"

namespace glimmora {

namespace {

// The shader's reading of a switch and of an option index.
bool isOn(float flag) {
    return flag > 0.5f;
}
int optionIndex(float value) {
    return static_cast<int>(std::floor(value + 0.5f));
}

// Focus band effects with glitch slices and grain: "Glitch Only" and "Dim + Glitch".
bool isBandGlitch(int effect) {
    return effect == 1 || effect == 2;
}
// Region effects of smart focus and the spotlight with grain or slices: "Noise", "Full Retro"
// and "Dim + Glitch".
bool isMovingRegionEffect(int mode) {
    return mode >= 3 && mode <= 5;
}

// The blocks each effect group reads, by the group's bit in GlPipeline::groupsInUse. The frame
// time block is left out: only effects that animate read it.
struct GroupBlocks {
    int first;
    int second;  // 0: none
};
constexpr GroupBlocks kBlocksOfGroup[] = {
    {RetroParams::kBindingIndex, 0},
    {FocusBandParams::kBindingIndex, FocusEffectParams::kBindingIndex},
    {SmartFocusParams::kBindingIndex, 0},
    {CursorSpotlightParams::kBindingIndex, 0},
    {BreathPacerParams::kBindingIndex, 0},
    {ReadingRulerParams::kBindingIndex, 0},
    {ColorBlindParams::kBindingIndex, 0},
    {ScreenDimmerParams::kBindingIndex, 0},
    {DyslexiaParams::kBindingIndex, 0},
    {ExplosionParams::kBindingIndex, 0},
};
static_assert(std::size(kBlocksOfGroup) == std::bit_width(GlPipeline::kAllGroups));

bool sameBlock(const FrameParameters& a, const FrameParameters& b, int binding) {
    const auto left = a.bindingBytes(binding);
    const auto right = b.bindingBytes(binding);
    return std::equal(left.begin(), left.end(), right.begin(), right.end());
}

// `frame` without the copies of the frame time that the shader never reads.
FrameParameters withoutTime(FrameParameters frame) {
    frame.time.time = 0;
    frame.smartFocus.time = 0;
    frame.cursorSpotlight.time = 0;
    return frame;
}

}  // namespace

bool RedrawPolicy::animates(const FrameParameters& f) {
    return f.retro.noise != 0 || f.retro.flicker != 0 || isOn(f.breathPacer.enabled) ||
           isOn(f.explosion.active) ||
           (isOn(f.focusBand.active) && isBandGlitch(optionIndex(f.focusEffect.effect)) &&
            f.focusEffect.glitchAmount != 0) ||
           (isOn(f.smartFocus.enabled) &&
            isMovingRegionEffect(optionIndex(f.smartFocus.effectMode))) ||
           (isOn(f.cursorSpotlight.enabled) &&
            isMovingRegionEffect(optionIndex(f.cursorSpotlight.effectMode)));
}

bool RedrawPolicy::looksAlike(const FrameParameters& a, const FrameParameters& b) {
    const unsigned groups = GlPipeline::groupsInUse(a);
    if (groups != GlPipeline::groupsInUse(b)) {
        return false;
    }
    const FrameParameters left = withoutTime(a);
    const FrameParameters right = withoutTime(b);
    for (unsigned bit = 0; bit < std::size(kBlocksOfGroup); ++bit) {
        const GroupBlocks blocks = kBlocksOfGroup[bit];
        if ((groups & (1u << bit)) != 0 &&
            (!sameBlock(left, right, blocks.first) ||
             (blocks.second != 0 && !sameBlock(left, right, blocks.second)))) {
            return false;
        }
    }
    return true;
}

}  // namespace glimmora
