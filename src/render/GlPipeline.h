#pragma once

#include <QByteArray>
#include <QRect>
#include <QRegion>
#include <array>
#include <optional>
#include <span>
#include <vector>

#include "render/ParameterBlocks.h"

namespace glimmora {

/// The GPU side of one frame: the shader program built from the shaders compiled into the
/// binary, the two constant vertex buffers of the full-screen quad and one uniform buffer for
/// each of the twelve parameter blocks. A frame only uploads the blocks' bytes and draws.
///
/// The fragment shader comes in variants, one per set of effect groups in use and of the retro
/// ingredients (glitch slices, channel split, scan lines, grain) those groups can ask for, so
/// that whatever is off costs nothing even on a software rasteriser (which runs both sides of
/// every branch). Each variant is compiled the first time its set is drawn and kept; the full
/// program, built at create(), validates the shader and stands in if a variant ever fails.
/// Needs a current OpenGL 3.3 core context for every call, including destruction.
class GlPipeline {
public:
    GlPipeline() = default;
    GlPipeline(const GlPipeline&) = delete;
    GlPipeline& operator=(const GlPipeline&) = delete;
    ~GlPipeline();

    /// Builds the program and the buffers. A shader that fails to compile or link prints
    /// "Pipeline error: " and the driver's message and leaves the program missing.
    void create();

    bool hasProgram() const { return fullProgram_ != 0; }
    bool hasBuffers() const { return vertexArray_ != 0 && positionBuffer_ != 0 && uvBuffer_ != 0; }

    /// Draws the quad into the bound framebuffer, sampling `texture` (texture unit 0) and
    /// reading the blocks at uniform bindings 1 to 12, byte for byte. `oneToOne`: the texture
    /// has the framebuffer's size, so that unless the frame moves or magnifies where it
    /// samples, each pixel reads exactly one texel and nearest filtering gives the same result
    /// for less work. `only`: when not empty, the rectangles (framebuffer coordinates, row 0 at
    /// the bottom as OpenGL counts) outside which nothing is drawn.
    ///
    /// One to one, the rows outside the reading ruler's band are drawn by the program without
    /// the ruler: the filtered sampling its magnification needs costs a software rasteriser
    /// about as much as the rest of the frame, and outside its band the ruler changes nothing.
    void draw(unsigned texture, const FrameParameters& parameters, bool oneToOne = false,
              std::span<const QRect> only = {});
    /// The same with the program of `variant`, which must hold every group and ingredient the
    /// frame uses (kAllVariants holds them all).
    void drawVariant(unsigned variant, unsigned texture, const FrameParameters& parameters,
                     bool oneToOne, std::span<const QRect> only = {});

    /// The part of a frame drawn one to one at `size` with `parameters` that a change of the
    /// picture in `change` (pixels, row 0 at the top) may change: the same pixels, and where the
    /// reading ruler magnifies them, their magnified place in its band. None where it cannot
    /// tell: glitch slices and the channel split sample beside the pixel by amounts that vary.
    static std::optional<QRegion> changedByPicture(const FrameParameters& parameters,
                                                   const QRegion& change, QSize size);
    /// The rows the reading ruler's band covers in a frame of `size` (row 0 at the top), with
    /// its frame and a margin for rounding: outside them it changes nothing.
    static QRect rulerBand(const ReadingRulerParams& ruler, QSize size);

    /// The effect groups a frame uses, one bit each.
    static unsigned groupsInUse(const FrameParameters& parameters);
    static constexpr unsigned kAllGroups = (1u << 10) - 1;
    /// The variant a frame needs: its groups, and above them the retro ingredients it can use.
    static unsigned variantOf(const FrameParameters& parameters);
    static constexpr unsigned kAllVariants = (1u << 14) - 1;
    /// How many variants have been compiled so far, for tests and diagnostics.
    int variantCount() const;

private:
    /// Draws `variant` within `area` (none: nothing).
    void drawWithin(unsigned variant, unsigned texture, const FrameParameters& parameters,
                    bool oneToOne, const QRegion& area);
    /// Compiles and links `variant`, or returns 0 after logging the error.
    unsigned buildProgram(unsigned variant) const;

    QByteArray vertexSource_;
    QByteArray fragmentSource_;
    unsigned fullProgram_ = 0;
    std::array<unsigned, kAllVariants + 1> variants_{};  // by variant bits; 0 until first used
    unsigned nearestSampler_ = 0;
    unsigned vertexArray_ = 0;
    unsigned positionBuffer_ = 0;
    unsigned uvBuffer_ = 0;
    std::array<unsigned, 13> uniformBuffers_{};  // index = binding; 0 unused
    std::vector<QRect> rectangles_;  // kept so that a steady stream of frames allocates nothing
};

}  // namespace glimmora
