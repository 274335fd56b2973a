#pragma once

#include <QImage>
#include <QRegion>
#include <QSize>
#include <optional>

namespace glimmora {

/// The two GPU pictures of the draw loop: the display texture, which receives each new picture,
/// and the persistent texture, a GPU-side backup copy that the draw falls back to when it has
/// no display picture. Both hold pictures top row first (row 0 is the picture's top) in 8-bit
/// RGBA. Textures are reused while the picture size stays the same. Needs a current OpenGL
/// context for every call, destruction included.
class PictureTextures {
public:
    PictureTextures() = default;
    PictureTextures(const PictureTextures&) = delete;
    PictureTextures& operator=(const PictureTextures&) = delete;
    ~PictureTextures();

    /// Uploads `picture` into the display texture: only `changed` (picture coordinates) when
    /// the texture holds the picture it changed from, else all of it.
    void setDisplay(const QImage& picture, const std::optional<QRegion>& changed = std::nullopt);
    /// The display texture no longer holds the picture before the next one (it was withdrawn,
    /// or could not be shown): the next upload is whole.
    void forgetDisplayPicture() { displayHoldsPicture_ = false; }
    /// Makes the display texture `size` without filling it, for a picture drawn into it on the
    /// GPU (a composed scene). Its contents are kept when the size did not change.
    void prepareDisplay(QSize size);
    /// Copies the display texture into the persistent one on the GPU (no read-back, no wait),
    /// replacing the persistent texture first when its size differs.
    void copyDisplayToPersistent();

    unsigned display() const { return display_; }
    unsigned persistent() const { return persistent_; }
    QSize displaySize() const { return displaySize_; }
    QSize persistentSize() const { return persistentSize_; }
    /// How often the persistent texture was (re)allocated: once per picture size.
    int persistentAllocations() const { return persistentAllocations_; }

private:
    unsigned display_ = 0;
    unsigned persistent_ = 0;
    unsigned readFramebuffer_ = 0;
    unsigned drawFramebuffer_ = 0;
    QSize displaySize_;
    bool displayHoldsPicture_ = false;  // the last uploaded picture, whole
    QSize persistentSize_;
    int persistentAllocations_ = 0;
};

}  // namespace glimmora
