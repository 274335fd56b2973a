#pragma once

#include <QByteArray>
#include <array>

#include "render/ParameterBlocks.h"

namespace glimmora {

/// The GPU side of one frame: the shader program built from the shaders compiled into the
/// binary, the two constant vertex buffers of the full-screen quad and one uniform buffer for
/// each of the twelve parameter blocks. A frame only uploads the blocks' bytes and draws.
///
/// The fragment shader comes in variants, one per set of effect groups in use, so that groups
/// that are off cost nothing even on a software rasteriser (which runs both sides of every
/// branch). Each variant is compiled the first time its set is drawn and kept; the full
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
    /// reading the blocks at uniform bindings 1 to 12, byte for byte.
    void draw(unsigned texture, const FrameParameters& parameters);

    /// The effect groups a frame uses, one bit each, as the variants are keyed.
    static unsigned groupsInUse(const FrameParameters& parameters);
    static constexpr unsigned kAllGroups = (1u << 10) - 1;
    /// How many variants have been compiled so far, for tests and diagnostics.
    int variantCount() const;

private:
    /// Compiles and links the variant for `groups`, or returns 0 after logging the error.
    unsigned buildProgram(unsigned groups) const;

    QByteArray vertexSource_;
    QByteArray fragmentSource_;
    unsigned fullProgram_ = 0;
    std::array<unsigned, kAllGroups + 1> variants_{};  // by group bits; 0 until first used
    unsigned vertexArray_ = 0;
    unsigned positionBuffer_ = 0;
    unsigned uvBuffer_ = 0;
    std::array<unsigned, 13> uniformBuffers_{};  // index = binding; 0 unused
};

}  // namespace glimmora
