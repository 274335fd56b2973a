#pragma once

#include <array>

#include "render/ParameterBlocks.h"

namespace glimmora {

/// The GPU side of one frame: the shader program built from the shaders compiled into the
/// binary, the two constant vertex buffers of the full-screen quad and one uniform buffer for
/// each of the twelve parameter blocks. Everything is created once; a frame only uploads the
/// blocks' bytes and draws. Needs a current OpenGL 3.3 core context for every call, including
/// destruction.
class GlPipeline {
public:
    GlPipeline() = default;
    GlPipeline(const GlPipeline&) = delete;
    GlPipeline& operator=(const GlPipeline&) = delete;
    ~GlPipeline();

    /// Builds the program and the buffers. A shader that fails to compile or link prints
    /// "Pipeline error: " and the driver's message and leaves the program missing.
    void create();

    bool hasProgram() const { return program_ != 0; }
    bool hasBuffers() const { return vertexArray_ != 0 && positionBuffer_ != 0 && uvBuffer_ != 0; }

    /// Draws the quad into the bound framebuffer, sampling `texture` (texture unit 0) and
    /// reading the blocks at uniform bindings 1 to 12, byte for byte.
    void draw(unsigned texture, const FrameParameters& parameters);

private:
    unsigned program_ = 0;
    unsigned vertexArray_ = 0;
    unsigned positionBuffer_ = 0;
    unsigned uvBuffer_ = 0;
    std::array<unsigned, 13> uniformBuffers_{};  // index = binding; 0 unused
};

}  // namespace glimmora
