#version 330 core

// Every pixel effect of the overlay, in one pass over the captured desktop.
//
// The pass runs at display rate over the whole desktop, sometimes on a software rasteriser, so
// it keeps to at most four texture fetches per pixel, has no loops or blur kernels, and tests
// each group's switch before doing any of its work. A group that is off, or whose amounts are
// zero, leaves the sampled colour untouched bit for bit, so with everything off the output is
// the input exactly.
//
// Order: where to sample (ruler magnification, glitch slices, channel split) → sample →
// retro and region effects (focus band, smart focus, spotlight) → ruler frame → colour-vision
// filter → dimmer → tint → line guide → breath pacer → explosion → opacity mix with the
// untouched picture.
//
// Positions are texture coordinates of the full-screen quad: x 0 at the left, y 0 at the top,
// the same convention as every position and size in the parameter blocks.

// Which groups this build of the program can show, and which of the retro ingredients (glitch
// slices, channel split, scan lines, grain) they can ask for. The renderer compiles one variant
// per set in use, defining each GROUP_* and USES_* as 0 or 1 before this text; the compiler
// then drops everything that is off, so an idle overlay costs one texture fetch per pixel even
// on a software rasteriser, and a spotlight that only dims carries no glitch code. Without
// definitions (a plain compile) everything is in.
#ifndef GROUP_RETRO
#define GROUP_RETRO 1
#define GROUP_FOCUS_BAND 1
#define GROUP_SMART_FOCUS 1
#define GROUP_SPOTLIGHT 1
#define GROUP_BREATH 1
#define GROUP_RULER 1
#define GROUP_COLOR_FILTER 1
#define GROUP_DIMMER 1
#define GROUP_DYSLEXIA 1
#define GROUP_EXPLOSION 1
#define USES_SLICES 1
#define USES_SPLIT 1
#define USES_SCAN_LINES 1
#define USES_GRAIN 1
#endif
const bool kRetro = GROUP_RETRO != 0;
const bool kFocusBand = GROUP_FOCUS_BAND != 0;
const bool kSmartFocus = GROUP_SMART_FOCUS != 0;
const bool kSpotlight = GROUP_SPOTLIGHT != 0;
const bool kBreath = GROUP_BREATH != 0;
const bool kRuler = GROUP_RULER != 0;
const bool kColorFilter = GROUP_COLOR_FILTER != 0;
const bool kDimmer = GROUP_DIMMER != 0;
const bool kDyslexia = GROUP_DYSLEXIA != 0;
const bool kExplosion = GROUP_EXPLOSION != 0;
const bool kSlices = USES_SLICES != 0;
const bool kSplit = USES_SPLIT != 0;
const bool kScanLines = USES_SCAN_LINES != 0;
const bool kGrain = USES_GRAIN != 0;

in vec2 vTexCoord;
out vec4 fragColor;

uniform sampler2D desktop;

layout(std140) uniform FrameTime {
    float time;
} frame;

layout(std140) uniform RetroParams {
    float scanLines;
    float rgbShift;
    float noise;
    float flicker;
    float opacity;
} retro;

layout(std140) uniform FocusBandParams {
    float centerY;
    float bandHeight;
    float isActive;  // "active" is a reserved word in GLSL
    float edgeWidth;
} band;

layout(std140) uniform ExplosionParams {
    float centerX;
    float centerY;
    float age;
    float isActive;  // "active" is a reserved word in GLSL
} explosion;

layout(std140) uniform ReadingRulerParams {
    float rulerX;
    float rulerY;
    float height;
    float zoom;
    float enabled;
} ruler;

layout(std140) uniform SmartFocusParams {
    float minX;
    float minY;
    float maxX;
    float maxY;
    float blurStrength;
    float fadeWidth;
    float enabled;
    float effectMode;
    float time;
    float zero0;
    float zero1;
    float zero2;
} smartFocus;

layout(std140) uniform ScreenDimmerParams {
    float brightness;
    float enabled;
    float zero0;
    float zero1;
} dimmer;

layout(std140) uniform ColorBlindParams {
    float filterType;
    float intensity;
    float enabled;
    float zero0;
} colorFilter;

layout(std140) uniform CursorSpotlightParams {
    float centerX;
    float centerY;
    float radius;
    float borderWidth;
    float dimAmount;
    float enabled;
    float effectMode;
    float time;
} spotlight;

layout(std140) uniform DyslexiaParams {
    float tintColor;
    float tintStrength;
    float zero0;
    float lineGuide;
    float lineY;
    float enabled;
    float zero1;
    float zero2;
} dyslexia;

layout(std140) uniform BreathPacerParams {
    float phase;
    float style;
    float intensity;
    float breathsPerMinute;
    float enabled;
    float zero0;
    float zero1;
    float zero2;
} breath;

layout(std140) uniform FocusEffectParams {
    float effect;
    float glitchAmount;
    float dimAmount;
    float desatAmount;
    float tuning;
    float enabled;
    float zero0;
    float zero1;
} focusEffect;

// ---------------------------------------------------------------------------------------------
// Option indices, as the settings store sends them.

// Focus band effects.
const int kBandDim = 0;
const int kBandGlitch = 1;
const int kBandDimGlitch = 2;
const int kBandVignette = 3;
const int kBandDesaturate = 4;

// Colour-vision filters.
const int kProtanopia = 1;
const int kDeuteranopia = 2;
const int kTritanopia = 3;
const int kAchromatopsia = 4;

// Region effects of smart focus (0 to 5) and the cursor spotlight (0 to 4).
const int kRegionDim = 0;
const int kRegionScanLines = 1;
const int kRegionRgbShift = 2;
const int kRegionNoise = 3;
const int kRegionFullRetro = 4;
const int kRegionDimGlitch = 5;

// Dyslexia tint colours (0: none).
const int kTintCream = 1;
const int kTintBlue = 2;
const int kTintGreen = 3;
const int kTintPink = 4;

// Breath pacer styles.
const int kSoftGlow = 1;
const int kColorWave = 2;
const int kGlitchPulse = 3;
const int kVignettePulse = 4;

// ---------------------------------------------------------------------------------------------
// Tuning. Distances are in texture coordinates unless they say pixels.

// The retro ingredients of each region effect at strength 1, as (scan-line darkness, channel
// split, grain amplitude, glitch slice amplitude).
const vec4 kScanLinesRecipe = vec4(0.6, 0.0, 0.0, 0.0);
const vec4 kRgbShiftRecipe = vec4(0.0, 0.005, 0.0, 0.0);
const vec4 kNoiseRecipe = vec4(0.0, 0.0, 0.2, 0.0);
const vec4 kFullRetroRecipe = vec4(0.36, 0.003, 0.12, 0.0);
const vec4 kDimGlitchRecipe = vec4(0.0, 0.002, 0.0, 0.02);
// How much "Dim + Glitch" darkens, relative to "Dim Only".
const float kDimGlitchDimming = 0.5;
// Smart focus darkens less than the spotlight: at full strength "Dim Only" keeps a fifth of the
// light, so the rest of the desktop stays findable.
const float kSmartDimScale = 0.8;
// Glitch slices: height as a fraction of the screen, and how often they jump per second. Each
// jump can change a large area at once, so they jump no more than three times a second: the
// general flash threshold that guards people with photosensitive epilepsy.
const float kSlicesPerScreen = 90.0;
const float kGlitchRate = 3.0;
// Focus band glitch at glitchAmount 1, before `tuning`: slice shift, channel split and grain.
const float kBandSlice = 0.1;
const float kBandSplit = 0.015;
const float kBandGrain = 0.1;
// Breath pacer "Glitch Pulse" at the top of the in-breath: slice shift and channel split.
const float kGlitchPulseSlice = 0.02;
const float kGlitchPulseSplit = 0.006;
// New grain every displayed frame; flicker changes a little slower.
const float kGrainRate = 60.0;
const float kFlickerRate = 30.0;
// Ruler frame and line guide: half thickness in pixels, colour and opacity.
const float kRulerFrameHalfPixels = 1.0;
const vec3 kRulerFrameColor = vec3(1.0, 0.72, 0.1);
const float kRulerFrameOpacity = 0.85;
const float kLineGuideHalfPixels = 1.0;
const vec3 kLineGuideColor = vec3(0.1, 0.45, 1.0);
const float kLineGuideOpacity = 0.8;
// Explosion lifetime in seconds (the renderer stops sending it at the same age).
const float kExplosionLifetime = 0.6;

// Rec. 709 relative luminance weights, for linear light.
const vec3 kRec709 = vec3(0.2126, 0.7152, 0.0722);

// Soft, recognisable overlay colours in the spirit of coloured reading overlays.
const vec3 kCream = vec3(1.0, 0.96, 0.82);
const vec3 kBlue = vec3(0.72, 0.84, 1.0);
const vec3 kGreen = vec3(0.76, 0.95, 0.76);
const vec3 kPink = vec3(1.0, 0.8, 0.87);

// ---------------------------------------------------------------------------------------------
// Helpers.
//
// A software rasteriser (Mesa's llvmpipe) runs every instruction of both sides of every branch
// for every pixel, switched off or not, and indexes arrays lane by lane. So the per-pixel work
// below prefers plain arithmetic (factors of 0 or 1 instead of lookups, bells instead of exp,
// an angle without atan, polynomials instead of pow); the branches that remain are on the
// groups' switches, which a GPU skips for free.

bool isOn(float flag) {
    return flag > 0.5;
}

int optionIndex(float value) {
    return int(floor(value + 0.5));
}

// 1 when the option is `index`, else 0.
float when(int option, int index) {
    return option == index ? 1.0 : 0.0;
}

// A smooth 0 → 1 step over [start, start + width]; exactly 0 up to `start`, which a zero width
// would make undefined with the built-in smoothstep.
float ramp(float start, float width, float x) {
    float r = clamp((x - start) / max(width, 1e-6), 0.0, 1.0);
    return r * r * (3.0 - 2.0 * r);
}

// A bell: 1 at 0, falling smoothly to exactly 0 at ±1 and beyond.
float bell(float x) {
    float t = max(1.0 - x * x, 0.0);
    return t * t;
}

// "lowbias32" (Chris Wellons, 2018): a well-mixed 32-bit integer hash with two multiplies.
uint hash(uint x) {
    x ^= x >> 16u;
    x *= 0x7feb352du;
    x ^= x >> 15u;
    x *= 0x846ca68bu;
    x ^= x >> 16u;
    return x;
}

// Uniform in [0, 1), from the hash's top 24 bits so that the conversion is exact.
float random(uint seed) {
    return float(hash(seed) >> 8u) * (1.0 / 16777216.0);
}

// A whole-number step of the frame time at `rate` steps per second, as a hash seed.
uint timeStep(float rate) {
    return uint(max(floor(frame.time * rate), 0.0));
}

// A cheap stand-in for the angle of `v`: rises monotonically from 0 to 4 once around.
float diamondAngle(vec2 v) {
    float a = v.y / (abs(v.x) + abs(v.y) + 1e-9);
    return v.x >= 0.0 ? (v.y >= 0.0 ? a : 4.0 + a) : 2.0 - a;
}

// The sRGB transfer functions (IEC 61966-2-1). The power segments are least-squares polynomial
// fits, the encoding's in the square root of its input; both stay within 0.1 of an 8-bit
// level of the exact curves, at a fraction of the cost of pow().
vec3 srgbToLinear(vec3 c) {
    vec3 high = (((-0.11894521 * c + 0.52782428) * c + 0.56120078) * c + 0.02795911) * c +
                0.00107783;
    return mix(c / 12.92, high, step(vec3(0.04045), c));
}

vec3 linearToSrgb(vec3 c) {
    vec3 s = sqrt(max(c, 0.0));
    vec3 high = ((((0.51745718 * s - 1.62412286) * s + 2.03209523) * s - 1.40300208) * s +
                 1.51801019) * s - 0.04011394;
    return mix(c * 12.92, high, step(vec3(0.0031308), c));
}

// Where to sample a picture magnified `zoom` times so that its pixels stay crisp: within each
// source texel the bilinear weight steps across one screen pixel instead of the whole texel.
// With the anchor on a pixel corner, every screen pixel lands on exactly one texel at whole
// zoom factors; at others only the screen pixel that straddles two texels mixes them. Text read through the ruler keeps its
// black strokes black instead of turning grey.
vec2 sharpMagnified(vec2 uv, vec2 texSize, float zoom) {
    vec2 texel = uv * texSize - 0.5;
    vec2 base = floor(texel);
    vec2 weight = clamp((texel - base - 0.5) * zoom + 0.5, 0.0, 1.0);
    return (base + 0.5 + weight) / texSize;
}

// ---------------------------------------------------------------------------------------------
// The groups. Region groups (focus band, smart focus, spotlight) only say what they want of
// this pixel; main() then does each kind of work once, however many groups ask for it.

// What the region groups and the retro effects ask of one pixel.
struct Look {
    float slice;  // amplitude of the horizontal glitch slice displacement
    float split;  // red/blue channel separation
    float scan;   // darkness of the odd scan lines, 0 to 1
    float grain;  // amplitude of the per-pixel noise
    float light;  // product of every darkening factor
    float desat;  // pull toward grey, 0 to 1
};

// The region effect `mode` at `strength`; `dimScale` is how hard this group darkens. Unknown
// modes do nothing.
void addRegionEffect(int mode, float strength, float dimScale, inout Look look) {
    vec4 recipe = when(mode, kRegionScanLines) * kScanLinesRecipe +
                  when(mode, kRegionRgbShift) * kRgbShiftRecipe +
                  when(mode, kRegionNoise) * kNoiseRecipe +
                  when(mode, kRegionFullRetro) * kFullRetroRecipe +
                  when(mode, kRegionDimGlitch) * kDimGlitchRecipe;
    recipe *= strength;
    look.scan += recipe.x;
    look.split += recipe.y;
    look.grain += recipe.z;
    look.slice += recipe.w;
    float dimming = when(mode, kRegionDim) + kDimGlitchDimming * when(mode, kRegionDimGlitch);
    look.light *= 1.0 - dimming * dimScale * strength;
}

void addFocusBand(vec2 p, inout Look look) {
    int effect = optionIndex(focusEffect.effect);
    float beyond = abs(p.y - band.centerY) - 0.5 * band.bandHeight;  // > 0 outside the band
    float w = ramp(0.0, band.edgeWidth, beyond);
    float dimming = (when(effect, kBandDim) + when(effect, kBandDimGlitch)) * w;
    float glitch = (when(effect, kBandGlitch) + when(effect, kBandDimGlitch)) * w *
                   focusEffect.glitchAmount * focusEffect.tuning;

    // Vignette: darkness grows with the distance from the band over `tuning` of the screen, and
    // a little more toward the left and right edges, so the band sits in a pool of light.
    float r = clamp(beyond / max(focusEffect.tuning, 1e-6), 0.0, 1.0);
    float side = 2.0 * abs(p.x - 0.5);
    float vignette = when(effect, kBandVignette) * r * (2.0 - r) * (0.75 + 0.25 * side * side);

    look.light *= 1.0 - focusEffect.dimAmount * (dimming + vignette);
    look.slice += kBandSlice * glitch;
    look.split += kBandSplit * glitch;
    look.grain += kBandGrain * glitch;
    look.desat = max(look.desat, when(effect, kBandDesaturate) * focusEffect.desatAmount * w);
}

void addSmartFocus(vec2 p, inout Look look) {
    vec2 outside = max(vec2(smartFocus.minX, smartFocus.minY) - p, 0.0) +
                   max(p - vec2(smartFocus.maxX, smartFocus.maxY), 0.0);
    float w = ramp(0.0, smartFocus.fadeWidth, length(outside));
    addRegionEffect(optionIndex(smartFocus.effectMode), smartFocus.blurStrength * w,
                    kSmartDimScale, look);
}

// The spotlight is round on screen: distances are in screen heights, x scaled by the aspect.
void addSpotlight(vec2 p, float aspect, inout Look look) {
    vec2 offset = (p - vec2(spotlight.centerX, spotlight.centerY)) * vec2(aspect, 1.0);
    float w = ramp(spotlight.radius, spotlight.borderWidth, length(offset));
    addRegionEffect(optionIndex(spotlight.effectMode), spotlight.dimAmount * w, 1.0, look);
}

// Daltonisation: simulate what a dichromat sees, take the difference to what is shown, and
// move that lost difference into channels the viewer still tells apart (Fidaner, Lin and
// Ozguven, "Analysis of Color Blindness", 2005). The simulation is the physiologically based
// model of Machado, Oliveira and Fernandes, "A Physiologically-based Model for Simulation of
// Color Vision Deficiency", IEEE TVCG 15(6), 2009: their severity 1.0 matrices for linear RGB,
// written row by row (GLSL's matrix constructor takes columns, hence the transposes).
const mat3 kProtanopiaView = transpose(mat3(0.152286, 1.052583, -0.204868,   //
                                            0.114503, 0.786281, 0.099216,    //
                                            -0.003882, -0.048116, 1.051998));
const mat3 kDeuteranopiaView = transpose(mat3(0.367322, 0.860646, -0.227968,  //
                                              0.280085, 0.672501, 0.047413,   //
                                              -0.011820, 0.042940, 0.968881));
const mat3 kTritanopiaView = transpose(mat3(1.255528, -0.076749, -0.178779,  //
                                            -0.078411, 0.930809, 0.147602,   //
                                            0.004733, 0.691367, 0.303900));
// Where the lost difference goes: red-green loss into green and blue, blue-yellow loss into
// red and green.
const mat3 kRedGreenShift = transpose(mat3(0.0, 0.0, 0.0,  //
                                           0.7, 1.0, 0.0,  //
                                           0.7, 0.0, 1.0));
const mat3 kBlueYellowShift = transpose(mat3(1.0, 0.0, 0.7,  //
                                             0.0, 1.0, 0.7,  //
                                             0.0, 0.0, 0.0));
// Each filter as one matrix on linear RGB: shown + shift × (shown − simulated) for the
// dichromacies; every row the Rec. 709 luminance weights for achromatopsia.
const mat3 kProtanopiaFilter = mat3(1.0) + kRedGreenShift * (mat3(1.0) - kProtanopiaView);
const mat3 kDeuteranopiaFilter = mat3(1.0) + kRedGreenShift * (mat3(1.0) - kDeuteranopiaView);
const mat3 kTritanopiaFilter = mat3(1.0) + kBlueYellowShift * (mat3(1.0) - kTritanopiaView);
const mat3 kAchromatopsiaFilter = transpose(mat3(kRec709, kRec709, kRec709));

vec3 applyColorFilter(vec3 c) {
    int type = optionIndex(colorFilter.filterType);
    if (type < kProtanopia || type > kAchromatopsia) {
        return c;
    }
    mat3 correction = type == kProtanopia     ? kProtanopiaFilter
                      : type == kDeuteranopia ? kDeuteranopiaFilter
                      : type == kTritanopia   ? kTritanopiaFilter
                                              : kAchromatopsiaFilter;
    vec3 linear = srgbToLinear(c);
    vec3 filtered = clamp(correction * linear, 0.0, 1.0);
    return linearToSrgb(mix(linear, filtered, clamp(colorFilter.intensity, 0.0, 1.0)));
}

vec3 applyDimmer(vec3 c) {
    float b = clamp(dimmer.brightness, -1.0, 1.0);
    return b < 0.0 ? c * (1.0 + b) : mix(c, vec3(1.0), b);
}

vec3 applyDyslexiaAids(vec2 p, float height, vec3 c) {
    int tint = optionIndex(dyslexia.tintColor);
    if (tint >= kTintCream && tint <= kTintPink) {
        vec3 color = when(tint, kTintCream) * kCream + when(tint, kTintBlue) * kBlue +
                     when(tint, kTintGreen) * kGreen + when(tint, kTintPink) * kPink;
        // Like a coloured overlay sheet: the tint multiplies, so white takes the tint colour at
        // the chosen strength while black text stays black and keeps its contrast.
        c *= mix(vec3(1.0), color, clamp(dyslexia.tintStrength, 0.0, 1.0));
    }
    bool onLine = abs(p.y - dyslexia.lineY) * height < kLineGuideHalfPixels;
    return isOn(dyslexia.lineGuide) && onLine ? mix(c, kLineGuideColor, kLineGuideOpacity) : c;
}

vec3 applyBreathPacer(vec2 p, float aspect, vec3 c) {
    int style = optionIndex(breath.style);
    float phase = clamp(breath.phase, 0.0, 1.0);
    float amount = clamp(breath.intensity, 0.0, 1.0);

    // Soft Glow: a calm blue glow from the screen edges that swells on the in-breath.
    float edge = min(min(p.x, 1.0 - p.x) * aspect, min(p.y, 1.0 - p.y));
    float glow = (1.0 - smoothstep(0.0, 0.3, edge)) * (0.15 + 0.6 * phase);
    c = mix(c, vec3(0.55, 0.75, 1.0), when(style, kSoftGlow) * amount * glow);

    // Color Wave: a band of colour that rises with the in-breath and sinks with the out-breath,
    // shifting from teal to violet.
    float wave = bell((p.y - (1.0 - phase)) / 0.35) * 0.35;
    vec3 waveColor = mix(vec3(0.3, 0.85, 0.8), vec3(0.65, 0.5, 1.0), phase);
    c = mix(c, waveColor, when(style, kColorWave) * amount * wave);

    // Vignette Pulse: the corners darken as the breath comes in. (Glitch Pulse changes where
    // the picture is sampled, so main() adds it before sampling.)
    vec2 fromCentre = (p - 0.5) * vec2(aspect, 1.0);
    float corner = dot(fromCentre, fromCentre) / (0.25 * (aspect * aspect + 1.0));  // 1 at corners
    float vignette = smoothstep(0.1, 1.0, corner) * (0.2 + 0.6 * phase);
    return c * (1.0 - when(style, kVignettePulse) * amount * vignette);
}

vec3 applyExplosion(vec2 p, float aspect, vec3 c) {
    float progress = clamp(explosion.age / kExplosionLifetime, 0.0, 1.0);
    float fade = 1.0 - progress;
    vec2 offset = (p - vec2(explosion.centerX, explosion.centerY)) * vec2(aspect, 1.0);
    float d = length(offset);
    // A shock ring that races out and slows down, a white-hot core that dies fast, and sparks:
    // 24 spokes of random length, about half of them lit, reaching past the ring; each click
    // (each centre) gets its own spokes.
    float radius = 0.02 + 0.2 * (1.0 - fade * fade);
    float ring = bell((d - radius) / (0.02 + 0.03 * progress)) * fade;
    float flash = bell(d / (0.05 + 0.12 * progress)) * fade * fade;
    uint click = floatBitsToUint(explosion.centerX) ^ floatBitsToUint(explosion.centerY);
    uint spoke = hash(uint(floor(diamondAngle(offset) * 6.0)) + hash(click));
    float reach = radius * (1.0 + 0.5 * float(spoke & 0xffffu) / 65536.0);
    float spark = float((spoke >> 16u) & 1u) * step(d, reach) * step(0.6 * radius, d) * fade;
    vec3 heat = mix(vec3(1.0, 0.35, 0.05), vec3(1.0, 0.95, 0.75), ring);
    return c + heat * (ring + 0.5 * spark) + vec3(1.0, 0.95, 0.85) * flash;
}

// ---------------------------------------------------------------------------------------------

void main() {
#if GROUP_RETRO + GROUP_FOCUS_BAND + GROUP_SMART_FOCUS + GROUP_SPOTLIGHT + GROUP_BREATH + \
        GROUP_RULER + GROUP_COLOR_FILTER + GROUP_DIMMER + GROUP_DYSLEXIA + GROUP_EXPLOSION == 0
    // Nothing on: the picture as it is (pictures are opaque), in the plainest form, which
    // Mesa's software rasteriser recognises and copies row by row instead of running a shader
    // per pixel: about half the cost of a frame. (Its form with alpha forced to one swaps red
    // and blue in a BGRA window there.)
    fragColor = texture(desktop, vTexCoord);
    return;
#endif
    vec2 p = vTexCoord;
    vec2 texSize = vec2(textureSize(desktop, 0));
    float aspect = texSize.x / texSize.y;
    vec2 pixel = floor(p * texSize);

    // --- Where to sample.
    vec2 uv = p;
    if (kRuler && isOn(ruler.enabled) && ruler.zoom > 0.0 &&
        abs(p.y - ruler.rulerY) <= 0.5 * ruler.height) {
        // The anchor on a pixel corner keeps the sample grid whole at whole zoom factors.
        vec2 anchor = floor(vec2(ruler.rulerX, ruler.rulerY) * texSize + 0.5) / texSize;
        uv = sharpMagnified(anchor + (p - anchor) / ruler.zoom, texSize, ruler.zoom);
    }

    Look look = kRetro ? Look(0.0, retro.rgbShift, retro.scanLines, retro.noise, 1.0, 0.0)
                       : Look(0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
    if (kFocusBand && isOn(band.isActive)) {
        addFocusBand(p, look);
    }
    if (kSmartFocus && isOn(smartFocus.enabled)) {
        addSmartFocus(p, look);
    }
    if (kSpotlight && isOn(spotlight.enabled)) {
        addSpotlight(p, aspect, look);
    }
    bool breathing = kBreath && isOn(breath.enabled);
    if (breathing && optionIndex(breath.style) == kGlitchPulse) {
        float pulse = clamp(breath.intensity, 0.0, 1.0) * clamp(breath.phase, 0.0, 1.0);
        look.slice += kGlitchPulseSlice * pulse;
        look.split += kGlitchPulseSplit * pulse;
    }
    if (kSlices && look.slice != 0.0) {
        uint slice = uint(max(floor(p.y * kSlicesPerScreen), 0.0));
        uv.x += (random(slice * 0x9e3779b1u + timeStep(kGlitchRate)) - 0.5) * 2.0 * look.slice;
    }

    // --- Sample: one fetch, two more while the channels are split.
    vec3 color = textureLod(desktop, uv, 0.0).rgb;
    if (kSplit && look.split != 0.0) {
        vec2 shift = vec2(look.split, 0.0);
        color.r = textureLod(desktop, uv + shift, 0.0).r;
        color.b = textureLod(desktop, uv - shift, 0.0).b;
    }

    // --- Retro and region effects.
    if (kScanLines && look.scan != 0.0) {
        color *= 1.0 - clamp(look.scan, 0.0, 1.0) * mod(pixel.y, 2.0);
    }
    if (kGrain && look.grain != 0.0) {
        uvec2 at = uvec2(max(pixel, 0.0));
        uint seed = at.x * 0x9e3779b1u ^ at.y * 0x85ebca77u ^ timeStep(kGrainRate) * 0xc2b2ae3du;
        color += (random(seed) - 0.5) * 2.0 * look.grain;
    }
    if (kRetro && retro.flicker != 0.0) {
        look.light *= 1.0 - retro.flicker * (0.5 + 0.5 * random(timeStep(kFlickerRate)));
    }
    if (look.desat != 0.0) {
        // Grey of the same luminance, taken in linear light so reds and blues keep their
        // brightness instead of turning darker than they look.
        vec3 linear = srgbToLinear(clamp(color, 0.0, 1.0));
        float luminance = dot(kRec709, linear);
        color = linearToSrgb(mix(linear, vec3(luminance), clamp(look.desat, 0.0, 1.0)));
    }
    color = clamp(color * look.light, 0.0, 1.0);

    // The ruler's frame straddles each edge of its band: a row inside and a row outside.
    if (kRuler && isOn(ruler.enabled) &&
        abs(abs(p.y - ruler.rulerY) - 0.5 * ruler.height) * texSize.y < kRulerFrameHalfPixels) {
        color = mix(color, kRulerFrameColor, kRulerFrameOpacity);
    }

    // --- Colour, light and overlays.
    if (kColorFilter && isOn(colorFilter.enabled)) {
        color = applyColorFilter(color);
    }
    if (kDimmer && isOn(dimmer.enabled)) {
        color = applyDimmer(color);
    }
    if (kDyslexia && isOn(dyslexia.enabled)) {
        color = applyDyslexiaAids(p, texSize.y, color);
    }
    if (breathing) {
        color = applyBreathPacer(p, aspect, color);
    }
    if (kExplosion && isOn(explosion.isActive)) {
        color = applyExplosion(p, aspect, color);
    }
    color = clamp(color, 0.0, 1.0);

    // --- Overall opacity, mixed here so that the overlay itself always covers the screen.
    float opacity = kRetro ? clamp(retro.opacity, 0.0, 1.0) : 1.0;
    if (opacity < 1.0) {
        // The texel under this pixel, unfiltered: the same as a filtered sample at its centre.
        vec3 original = texelFetch(desktop, ivec2(pixel), 0).rgb;
        color = color * opacity + original * (1.0 - opacity);
    }
    fragColor = vec4(color, 1.0);
}
