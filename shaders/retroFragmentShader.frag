#version 330 core

in vec2 vTexCoord;
out vec4 fragColor;

uniform sampler2D desktop;

layout(std140) uniform FrameTime { float time; } frame;
layout(std140) uniform RetroParams {
    float scanLines;
    float rgbShift;
    float noise;
    float flicker;
    float opacity;
} retro;

void main() {
    vec4 original = texture(desktop, vTexCoord);
    fragColor = vec4(original.rgb, 1.0) + 0.0 * frame.time * retro.opacity;
}
