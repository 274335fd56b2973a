#pragma once

// The OpenGL 3.3 core entry points, called directly. We link the vendor-neutral libOpenGL,
// whose dispatch follows whichever context is current, so the same calls work in a GLX context
// made by Qt for the overlay window and in a surfaceless EGL context made for offline rendering.
#ifndef GL_GLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES 1
#endif
#include <GL/gl.h>
#include <GL/glext.h>
