#include "platform/egl/EglOffscreenContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include "platform/gl/GlApi.h"

namespace glimmora {

namespace {

QString eglErrorText(const char* what) {
    return QStringLiteral("%1 failed (EGL error 0x%2)")
        .arg(QLatin1String(what))
        .arg(eglGetError(), 4, 16, QLatin1Char('0'));
}

}  // namespace

std::unique_ptr<EglOffscreenContext> EglOffscreenContext::create(QString* error) {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        *error = QStringLiteral("EGL has no eglGetPlatformDisplayEXT");
        return nullptr;
    }
    EGLDisplay display =
        getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) {
        *error = eglErrorText("eglGetPlatformDisplayEXT(surfaceless)");
        return nullptr;
    }
    EGLint major = 0;
    EGLint minor = 0;
    if (!eglInitialize(display, &major, &minor)) {
        *error = eglErrorText("eglInitialize");
        return nullptr;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        *error = eglErrorText("eglBindAPI(OpenGL)");
        eglTerminate(display);
        return nullptr;
    }
    // clang-format off
    const EGLint attributes[] = {
        EGL_CONTEXT_MAJOR_VERSION, 3,
        EGL_CONTEXT_MINOR_VERSION, 3,
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
        EGL_NONE,
    };
    // clang-format on
    // Configless: we never draw to an EGL surface, only to framebuffer objects.
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        *error = eglErrorText("eglCreateContext(OpenGL 3.3 core)");
        eglTerminate(display);
        return nullptr;
    }
    std::unique_ptr<EglOffscreenContext> result(new EglOffscreenContext);
    result->display_ = display;
    result->context_ = context;
    if (!result->makeCurrent()) {
        *error = eglErrorText("eglMakeCurrent(surfaceless)");
        return nullptr;
    }
    return result;
}

EglOffscreenContext::~EglOffscreenContext() {
    if (display_ != nullptr) {
        eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (context_ != nullptr) {
            eglDestroyContext(display_, context_);
        }
        eglTerminate(display_);
    }
}

bool EglOffscreenContext::makeCurrent() {
    return eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
}

QString EglOffscreenContext::rendererName() const {
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return name != nullptr ? QString::fromLatin1(name) : QString();
}

}  // namespace glimmora
