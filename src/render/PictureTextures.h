#pragma once

#include <QImage>
#include <QRegion>
#include <QSize>
#include <optional>

namespace glimmora {

/// The GPU pictures of the draw loop. The display texture holds the last good desktop picture;
/// it is both what a frame draws and the backup a frame falls back to when the newest picture
/// was withdrawn or could not be shown, so no frame copies it anywhere.
///
/// Pixels are uploaded into the display texture in place (only the changed region where the
/// texture holds the picture they changed from): an upload cannot fail halfway. A scene is
/// composed on the GPU into the second texture instead, which becomes the display texture only
/// once the composition succeeded, so a failed one never spoils the last good picture.
///
/// Both hold opaque pictures top row first (row 0 is the picture's top) in 8-bit RGBA: a
/// picture in Format_RGB32 must hold 0xff in every alpha byte, as QImage keeps it, and one in
/// any other format is converted. They are reused while the picture size stays the same.
/// Needs a current OpenGL context for every call, destruction included.
class PictureTextures {
public:
    PictureTextures() = default;
    PictureTextures(const PictureTextures&) = delete;
    PictureTextures& operator=(const PictureTextures&) = delete;
    ~PictureTextures();

    /// Uploads `picture` into the display texture: only `changed` (picture coordinates) when
    /// the texture holds the picture it changed from, else all of it. Returns what it uploaded.
    QRegion setDisplay(const QImage& picture, const std::optional<QRegion>& changed = std::nullopt);
    /// The texture to compose a scene of `size` into, never the display texture. Its contents
    /// are undefined.
    unsigned sceneTarget(QSize size);
    /// The scene composed into sceneTarget() is complete: it becomes the display texture.
    void commitScene();
    /// The display texture no longer holds the picture before the next one (it was withdrawn,
    /// or could not be shown): the next upload is whole.
    void forgetDisplayPicture() { displayHoldsPicture_ = false; }

    /// The last good picture; 0 before the first.
    unsigned display() const { return slots_[display_].texture; }
    QSize displaySize() const { return slots_[display_].size; }
    /// How often a texture was (re)allocated: once per picture size for pixels, twice for
    /// scenes.
    int allocations() const { return allocations_; }

private:
    struct Slot {
        unsigned texture = 0;
        QSize size;
    };
    /// Makes `slot` a texture of `size`, filled from `pixels` (rows `rowLength` apart) if any.
    void allocate(Slot& slot, QSize size, const void* pixels = nullptr, int rowLength = 0);

    Slot slots_[2];
    int display_ = 0;                   // index into slots_
    bool displayHoldsPicture_ = false;  // the last uploaded picture, whole
    int allocations_ = 0;
};

}  // namespace glimmora
