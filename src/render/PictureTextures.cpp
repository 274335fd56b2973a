#include "render/PictureTextures.h"

#include "platform/gl/GlApi.h"

namespace glimmora {

namespace {

// A changed region of more rectangles than this is uploaded as its bounding box.
constexpr int kMostUploadRectangles = 16;

GLuint newTexture(const QSize& size, const void* pixels, int rowLength) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // 32-bit pixels in memory order B, G, R, A: what X11 and QImage::Format_RGB32 hold. The
    // unsized internal format lets the driver store them as they come: Mesa then keeps BGRA
    // and an upload is a plain copy, where a sized GL_RGBA8 makes llvmpipe swizzle every
    // pixel (about three times the cost of a 1080p upload).
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size.width(), size.height(), 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    return texture;
}

}  // namespace

PictureTextures::~PictureTextures() {
    glDeleteTextures(1, &display_);
    glDeleteTextures(1, &persistent_);
    glDeleteFramebuffers(1, &readFramebuffer_);
    glDeleteFramebuffers(1, &drawFramebuffer_);
}

void PictureTextures::setDisplay(const QImage& source, const std::optional<QRegion>& changed) {
    const QImage picture =
        (source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32 ||
         source.format() == QImage::Format_ARGB32_Premultiplied)
            ? source
            : source.convertToFormat(QImage::Format_RGB32);
    const int rowLength = static_cast<int>(picture.bytesPerLine() / 4);
    if (display_ == 0 || picture.size() != displaySize_) {
        glDeleteTextures(1, &display_);
        display_ = newTexture(picture.size(), picture.constBits(), rowLength);
        displaySize_ = picture.size();
        displayHoldsPicture_ = true;
        return;
    }
    const QRect whole(QPoint(0, 0), picture.size());
    QRegion area = changed && displayHoldsPicture_ ? *changed & whole : QRegion(whole);
    if (area.rectCount() > kMostUploadRectangles) {
        area = area.boundingRect();  // one larger copy beats many small calls
    }
    glBindTexture(GL_TEXTURE_2D, display_);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    for (const QRect& rect : area) {
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, rect.x());
        glPixelStorei(GL_UNPACK_SKIP_ROWS, rect.y());
        glTexSubImage2D(GL_TEXTURE_2D, 0, rect.x(), rect.y(), rect.width(), rect.height(), GL_BGRA,
                        GL_UNSIGNED_BYTE, picture.constBits());
    }
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    displayHoldsPicture_ = true;
}

void PictureTextures::prepareDisplay(QSize size) {
    displayHoldsPicture_ = false;  // a scene is drawn in, not uploaded
    if (display_ != 0 && size == displaySize_) {
        return;
    }
    glDeleteTextures(1, &display_);
    display_ = newTexture(size, nullptr, 0);
    displaySize_ = size;
}

void PictureTextures::copyDisplayToPersistent() {
    if (display_ == 0) {
        return;
    }
    if (persistent_ == 0 || persistentSize_ != displaySize_) {
        glDeleteTextures(1, &persistent_);
        persistent_ = newTexture(displaySize_, nullptr, 0);
        persistentSize_ = displaySize_;
        ++persistentAllocations_;
    }
    if (readFramebuffer_ == 0) {
        glGenFramebuffers(1, &readFramebuffer_);
        glGenFramebuffers(1, &drawFramebuffer_);
    }
    GLint previousDraw = 0;
    GLint previousRead = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previousDraw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previousRead);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, display_, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFramebuffer_);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, persistent_,
                           0);
    const int w = displaySize_.width();
    const int h = displaySize_.height();
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(previousRead));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(previousDraw));
}

}  // namespace glimmora
