#include "render/OffscreenTarget.h"

#include "platform/gl/GlApi.h"

namespace glimmora {

OffscreenTarget::OffscreenTarget(QSize size) : size_(size) {
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size.width(), size.height(), 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

OffscreenTarget::~OffscreenTarget() {
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteTextures(1, &texture_);
}

QImage OffscreenTarget::read() const {
    QImage image(size_, QImage::Format_ARGB32);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(image.bytesPerLine() / 4));
    glReadPixels(0, 0, size_.width(), size_.height(), GL_BGRA, GL_UNSIGNED_BYTE, image.bits());
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    // OpenGL's first row is the bottom one.
    return image.mirrored(false, true);
}

}  // namespace glimmora
