#include "render/GlPipeline.h"

#include <QString>
#include <algorithm>
#include <bit>
#include <cmath>
#include <iterator>

#include "core/Log.h"
#include "platform/gl/GlApi.h"
#include "platform/gl/GlProgram.h"

namespace glimmora {

namespace {

// The quad: clip-space corners as (x, y, 0, 0) and their texture coordinates, top-left (0, 0).
constexpr float kPositions[16] = {-1, -1, 0, 0, 1, -1, 0, 0, -1, 1, 0, 0, 1, 1, 0, 0};
constexpr float kTexCoords[8] = {0, 1, 1, 1, 0, 0, 1, 0};
static_assert(sizeof kPositions == 64 && sizeof kTexCoords == 32);

// Uniform block names in the fragment shader, by binding index.
constexpr const char* kBlockNames[13] = {
    nullptr,
    "FrameTime",
    "RetroParams",
    "FocusBandParams",
    "ExplosionParams",
    "ReadingRulerParams",
    "SmartFocusParams",
    "ScreenDimmerParams",
    "ColorBlindParams",
    "CursorSpotlightParams",
    "DyslexiaParams",
    "BreathPacerParams",
    "FocusEffectParams",
};

GLuint makeBuffer(GLenum target, const void* data, GLsizeiptr size) {
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(target, buffer);
    glBufferData(target, size, data, data != nullptr ? GL_STATIC_DRAW : GL_DYNAMIC_DRAW);
    return buffer;
}

// What a variant can hold, in bit order, as the fragment shader names it: the effect groups,
// then the retro ingredients.
constexpr const char* kVariantNames[14] = {
    "GROUP_RETRO", "GROUP_FOCUS_BAND",   "GROUP_SMART_FOCUS", "GROUP_SPOTLIGHT", "GROUP_BREATH",
    "GROUP_RULER", "GROUP_COLOR_FILTER", "GROUP_DIMMER",      "GROUP_DYSLEXIA",  "GROUP_EXPLOSION",
    "USES_SLICES", "USES_SPLIT",         "USES_SCAN_LINES",   "USES_GRAIN",
};
constexpr unsigned kRulerBit = 1u << 5;
constexpr unsigned kSlicesBit = 1u << 10;
constexpr unsigned kSplitBit = 1u << 11;
constexpr unsigned kScanLinesBit = 1u << 12;
constexpr unsigned kGrainBit = 1u << 13;
// The ruler magnifies, and slices and the channel split sample beside the pixel's own texel.
constexpr unsigned kMovesSamples = kRulerBit | kSlicesBit | kSplitBit;
// Rows beyond the ruler's band drawn with it: its frame reaches a row out, and rounding another.
constexpr int kRulerBandMargin = 3;
static_assert(std::size(kVariantNames) == std::bit_width(GlPipeline::kAllVariants));

// The option indices the ingredients depend on, as the shader numbers them.
int optionIndex(float value) {
    return static_cast<int>(std::floor(value + 0.5f));
}
// The ingredients of a region effect of smart focus or the spotlight.
unsigned regionIngredients(float mode) {
    switch (optionIndex(mode)) {
        case 1:  // Scan Lines
            return kScanLinesBit;
        case 2:  // RGB Shift
            return kSplitBit;
        case 3:  // Noise
            return kGrainBit;
        case 4:  // Full Retro
            return kScanLinesBit | kSplitBit | kGrainBit;
        case 5:  // Dim + Glitch
            return kSplitBit | kSlicesBit;
        default:  // Dim
            return 0;
    }
}

// The shader's own test for a switch.
bool isOn(float flag) {
    return flag > 0.5f;
}

// The source with the variant's definitions inserted right after its #version line.
QByteArray withVariant(const QByteArray& source, unsigned variant) {
    QByteArray defines;
    for (unsigned bit = 0; bit < std::size(kVariantNames); ++bit) {
        defines += "#define " + QByteArray(kVariantNames[bit]) +
                   ((variant & (1u << bit)) != 0 ? " 1\n" : " 0\n");
    }
    const qsizetype versionEnd = source.indexOf('\n') + 1;
    return source.left(versionEnd) + defines + source.mid(versionEnd);
}

}  // namespace

GlPipeline::~GlPipeline() {
    for (unsigned program : variants_) {
        if (program != fullProgram_) {
            glDeleteProgram(program);
        }
    }
    glDeleteProgram(fullProgram_);
    glDeleteSamplers(1, &nearestSampler_);
    glDeleteVertexArrays(1, &vertexArray_);
    glDeleteBuffers(1, &positionBuffer_);
    glDeleteBuffers(1, &uvBuffer_);
    glDeleteBuffers(static_cast<GLsizei>(uniformBuffers_.size()), uniformBuffers_.data());
}

unsigned GlPipeline::groupsInUse(const FrameParameters& f) {
    const bool retro = f.retro.scanLines != 0 || f.retro.rgbShift != 0 || f.retro.noise != 0 ||
                       f.retro.flicker != 0 || !(f.retro.opacity >= 1.0f);
    const bool flags[10] = {
        retro,
        isOn(f.focusBand.active),
        isOn(f.smartFocus.enabled),
        isOn(f.cursorSpotlight.enabled),
        isOn(f.breathPacer.enabled),
        isOn(f.readingRuler.enabled),
        isOn(f.colorBlind.enabled),
        isOn(f.screenDimmer.enabled),
        isOn(f.dyslexia.enabled),
        isOn(f.explosion.active),
    };
    unsigned groups = 0;
    for (unsigned bit = 0; bit < std::size(flags); ++bit) {
        groups |= flags[bit] ? (1u << bit) : 0u;
    }
    return groups;
}

unsigned GlPipeline::variantOf(const FrameParameters& f) {
    const unsigned groups = groupsInUse(f);
    unsigned ingredients = 0;
    if ((groups & 1u) != 0) {  // retro
        ingredients |= (f.retro.scanLines != 0 ? kScanLinesBit : 0) |
                       (f.retro.rgbShift != 0 ? kSplitBit : 0) |
                       (f.retro.noise != 0 ? kGrainBit : 0);
    }
    const int bandEffect = optionIndex(f.focusEffect.effect);
    if ((groups & 2u) != 0 && (bandEffect == 1 || bandEffect == 2)) {  // a band glitch
        ingredients |= kSlicesBit | kSplitBit | kGrainBit;
    }
    if ((groups & 4u) != 0) {
        ingredients |= regionIngredients(f.smartFocus.effectMode);
    }
    if ((groups & 8u) != 0) {
        ingredients |= regionIngredients(f.cursorSpotlight.effectMode);
    }
    if ((groups & 16u) != 0 && optionIndex(f.breathPacer.style) == 3) {  // Glitch Pulse
        ingredients |= kSlicesBit | kSplitBit;
    }
    return groups | ingredients;
}

int GlPipeline::variantCount() const {
    return static_cast<int>(std::count_if(variants_.begin(), variants_.end(),
                                          [](unsigned program) { return program != 0; }));
}

unsigned GlPipeline::buildProgram(unsigned variant) const {
    QString error;
    const GLuint program =
        linkProgram(vertexSource_, withVariant(fragmentSource_, variant), &error);
    if (program == 0) {
        logLine(("Pipeline error: " + error.simplified()).toStdString());
        return 0;
    }
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "desktop"), 0);
    for (GLuint binding = 1; binding <= 12; ++binding) {
        const GLuint index = glGetUniformBlockIndex(program, kBlockNames[binding]);
        if (index != GL_INVALID_INDEX) {  // a block the variant does not read is optimised out
            glUniformBlockBinding(program, index, binding);
        }
    }
    return program;
}

void GlPipeline::create() {
    vertexSource_ = shaderResource(":/shaders/vertexShader.vert");
    fragmentSource_ = shaderResource(":/shaders/retroFragmentShader.frag");
    if (vertexSource_.isEmpty() || fragmentSource_.isEmpty()) {
        return;  // no shader library in this binary: nothing can be drawn
    }
    fullProgram_ = buildProgram(kAllVariants);
    variants_[kAllVariants] = fullProgram_;
    glGenSamplers(1, &nearestSampler_);
    glSamplerParameteri(nearestSampler_, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glSamplerParameteri(nearestSampler_, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glSamplerParameteri(nearestSampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(nearestSampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    glGenVertexArrays(1, &vertexArray_);
    glBindVertexArray(vertexArray_);
    positionBuffer_ = makeBuffer(GL_ARRAY_BUFFER, kPositions, sizeof kPositions);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    uvBuffer_ = makeBuffer(GL_ARRAY_BUFFER, kTexCoords, sizeof kTexCoords);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(1);
    glBindVertexArray(0);

    // std140 may round a block's size up to a whole vec4; the buffer must cover that, while a
    // frame uploads exactly the block's own bytes at offset 0.
    const FrameParameters sizes;
    for (int binding = 1; binding <= 12; ++binding) {
        const auto size = static_cast<GLsizeiptr>(sizes.bindingBytes(binding).size());
        uniformBuffers_[binding] = makeBuffer(GL_UNIFORM_BUFFER, nullptr, (size + 15) / 16 * 16);
    }
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
}

void GlPipeline::draw(unsigned texture, const FrameParameters& parameters, bool oneToOne,
                      std::span<const QRect> only) {
    const unsigned variant = variantOf(parameters);
    if (!oneToOne || (variant & kRulerBit) == 0) {
        drawVariant(variant, texture, parameters, oneToOne, only);
        return;
    }
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const QRect whole(viewport[0], viewport[1], viewport[2], viewport[3]);
    // OpenGL counts rows from the bottom.
    const QRect rows = rulerBand(parameters.readingRuler, whole.size());
    const QRect band(whole.x(), whole.y() + whole.height() - rows.bottom() - 1, whole.width(),
                     rows.height());
    QRegion area;
    for (const QRect& rect : only) {
        area += rect;
    }
    if (only.empty()) {
        area = whole;
    }
    FrameParameters outside = parameters;
    outside.readingRuler.enabled = 0;
    drawWithin(variantOf(outside), texture, outside, true, area - band);
    drawWithin(variant, texture, parameters, true, area & band);
}

void GlPipeline::drawWithin(unsigned variant, unsigned texture, const FrameParameters& parameters,
                            bool oneToOne, const QRegion& area) {
    if (area.isEmpty()) {
        return;
    }
    rectangles_.assign(area.begin(), area.end());
    drawVariant(variant, texture, parameters, oneToOne, rectangles_);
}

QRect GlPipeline::rulerBand(const ReadingRulerParams& ruler, QSize size) {
    const double height = size.height();
    const int top = static_cast<int>(std::floor((ruler.rulerY - 0.5 * ruler.height) * height)) -
                    kRulerBandMargin;
    const int bottom = static_cast<int>(std::ceil((ruler.rulerY + 0.5 * ruler.height) * height)) +
                       kRulerBandMargin;
    return QRect(0, top, size.width(), bottom - top) & QRect(QPoint(0, 0), size);
}

std::optional<QRegion> GlPipeline::changedByPicture(const FrameParameters& parameters,
                                                    const QRegion& change, QSize size) {
    const unsigned variant = variantOf(parameters);
    if ((variant & (kSlicesBit | kSplitBit)) != 0) {
        return std::nullopt;
    }
    const ReadingRulerParams& ruler = parameters.readingRuler;
    if ((variant & kRulerBit) == 0 || !(ruler.zoom > 0)) {
        return change;
    }
    // In its band the ruler shows the texel at anchor + (pixel - anchor) / zoom, mixed with its
    // neighbour: a changed texel shows at anchor + (texel - anchor) * zoom, give or take a
    // texel's reach and a pixel for rounding.
    const QRect band = rulerBand(ruler, size);
    const double anchorX = std::floor(ruler.rulerX * size.width() + 0.5);
    const double anchorY = std::floor(ruler.rulerY * size.height() + 0.5);
    const double zoom = ruler.zoom;
    const auto magnified = [zoom](double at, double anchor) {
        return anchor + (at - anchor) * zoom;
    };
    QRegion changed = change;
    for (const QRect& rect : change) {
        const int left = static_cast<int>(std::floor(magnified(rect.x() - 1.0, anchorX))) - 1;
        const int right =
            static_cast<int>(std::ceil(magnified(rect.x() + rect.width() + 1.0, anchorX))) + 1;
        const int top = static_cast<int>(std::floor(magnified(rect.y() - 1.0, anchorY))) - 1;
        const int bottom =
            static_cast<int>(std::ceil(magnified(rect.y() + rect.height() + 1.0, anchorY))) + 1;
        changed += QRect(left, top, right - left, bottom - top) & band;
    }
    return changed;
}

void GlPipeline::drawVariant(unsigned key, unsigned texture, const FrameParameters& parameters,
                             bool oneToOne, std::span<const QRect> only) {
    unsigned& variant = variants_[key & kAllVariants];
    if (variant == 0) {
        // First use of this variant; one that fails leaves the full program.
        const unsigned built = buildProgram(key);
        variant = built != 0 ? built : fullProgram_;
    }
    glUseProgram(variant);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    // What samples beside the pixel's own texel needs the texture's own bilinear filtering.
    const bool nearest = oneToOne && (key & kMovesSamples) == 0;
    glBindSampler(0, nearest ? nearestSampler_ : 0);
    for (int binding = 1; binding <= 12; ++binding) {
        const auto bytes = parameters.bindingBytes(binding);
        glBindBuffer(GL_UNIFORM_BUFFER, uniformBuffers_[binding]);
        glBufferSubData(GL_UNIFORM_BUFFER, 0, static_cast<GLsizeiptr>(bytes.size()), bytes.data());
        glBindBufferBase(GL_UNIFORM_BUFFER, static_cast<GLuint>(binding), uniformBuffers_[binding]);
    }
    glBindVertexArray(vertexArray_);
    if (only.empty()) {
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    } else {
        // A software rasteriser skips every pixel outside the scissor box, shader included.
        glEnable(GL_SCISSOR_TEST);
        for (const QRect& rect : only) {
            glScissor(rect.x(), rect.y(), rect.width(), rect.height());
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        glDisable(GL_SCISSOR_TEST);
    }
    glBindVertexArray(0);
    glBindSampler(0, 0);
}

}  // namespace glimmora
