#version 330 core

// Windows are opaque in desktop pictures: a 32-bit (ARGB) window shows as if opaque, as the
// copying path shows it.
uniform sampler2D layer;

in vec2 vTexCoord;
out vec4 fragColour;

void main() {
    fragColour = vec4(texture(layer, vTexCoord).rgb, 1.0);
}
