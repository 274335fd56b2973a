#include "render/PictureTextures.h"

#include "platform/gl/GlApi.h"

namespace glimmora {

namespace {

// A changed region of more rectangles than this is uploaded as its bounding box.
constexpr int kMostUploadRectangles = 16;

}  // namespace

PictureTextures::~PictureTextures() {
    for (Slot& slot : slots_) {
        glDeleteTextures(1, &slot.texture);
    }
}

void PictureTextures::allocate(Slot& slot, QSize size, const void* pixels, int rowLength) {
    glDeleteTextures(1, &slot.texture);
    glGenTextures(1, &slot.texture);
    glBindTexture(GL_TEXTURE_2D, slot.texture);
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
    slot.size = size;
    ++allocations_;
}

QRegion PictureTextures::setDisplay(const QImage& source, const std::optional<QRegion>& changed) {
    // Opaque pixels only: a frame with every effect off shows the texture as it is, alpha
    // included.
    const QImage picture = source.format() == QImage::Format_RGB32
                               ? source
                               : source.convertToFormat(QImage::Format_RGB32);
    const int rowLength = static_cast<int>(picture.bytesPerLine() / 4);
    Slot& slot = slots_[display_];
    if (slot.texture == 0 || picture.size() != slot.size) {
        allocate(slot, picture.size(), picture.constBits(), rowLength);
        displayHoldsPicture_ = true;
        return QRect(QPoint(0, 0), picture.size());
    }
    const QRect whole(QPoint(0, 0), picture.size());
    QRegion area = changed && displayHoldsPicture_ ? *changed & whole : QRegion(whole);
    if (area.rectCount() > kMostUploadRectangles) {
        area = area.boundingRect();  // one larger copy beats many small calls
    }
    glBindTexture(GL_TEXTURE_2D, slot.texture);
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
    return area;
}

unsigned PictureTextures::sceneTarget(QSize size) {
    Slot& spare = slots_[1 - display_];
    if (spare.texture == 0 || spare.size != size) {
        allocate(spare, size);
    }
    return spare.texture;
}

void PictureTextures::commitScene() {
    display_ = 1 - display_;
    displayHoldsPicture_ = false;  // drawn in, not uploaded: the next upload is whole
}

}  // namespace glimmora
