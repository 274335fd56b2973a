#version 330 core

// The full-screen quad: positions are clip-space (x, y, 0, 0) vec4s, texture coordinates put
// (0, 0) at the top-left corner so they match normalised screen positions (y down).
layout(location = 0) in vec4 position;
layout(location = 1) in vec2 texCoord;

out vec2 vTexCoord;

void main() {
    gl_Position = vec4(position.xy, 0.0, 1.0);
    vTexCoord = texCoord;
}
