#version 330 core

// One window (or the wallpaper) of a desktop scene. Positions are picture pixels with y down;
// picture row 0 lands on framebuffer row 0, which is the top row of a draw-loop picture.
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 texCoord;

uniform vec2 pictureSize;

out vec2 vTexCoord;

void main() {
    gl_Position = vec4(position / pictureSize * 2.0 - 1.0, 0.0, 1.0);
    vTexCoord = texCoord;
}
