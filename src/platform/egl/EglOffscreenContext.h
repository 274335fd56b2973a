#pragma once

#include <QString>
#include <memory>

namespace glimmora {

/// An OpenGL 3.3 core context that needs no display server: EGL on Mesa's surfaceless
/// platform (software rendering with llvmpipe when no GPU is present). Render into your own
/// framebuffer object; there is no default framebuffer.
class EglOffscreenContext {
public:
    /// Creates and makes current a context, or returns null and sets `error` to one line.
    static std::unique_ptr<EglOffscreenContext> create(QString* error);
    ~EglOffscreenContext();
    EglOffscreenContext(const EglOffscreenContext&) = delete;
    EglOffscreenContext& operator=(const EglOffscreenContext&) = delete;

    bool makeCurrent();
    /// "llvmpipe (LLVM 15.0.6, 256 bits)" and the like.
    QString rendererName() const;

private:
    EglOffscreenContext() = default;

    void* display_ = nullptr;
    void* context_ = nullptr;
};

}  // namespace glimmora
