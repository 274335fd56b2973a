#pragma once

#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <QRect>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <span>
#include <vector>

namespace glimmora {

/// One area of a drawable to copy into memory of ours.
struct ImageRead {
    xcb_drawable_t drawable = XCB_NONE;
    QRect area;                      // drawable coordinates
    quint32* destination = nullptr;  // receives the area's top-left pixel
    int destinationStride = 0;       // pixels from one destination row to the next
};

/// Reads pixels of 24- and 32-bit drawables through one MIT-SHM segment: the server writes
/// straight into memory we share, with no pixels on the socket. Many reads are in flight at
/// once; the segment is reused from the start when it is full.
class ShmImageReader {
public:
    /// A segment of `bytes` shared with the server, or null with one error line.
    static std::unique_ptr<ShmImageReader> create(xcb_connection_t* connection, size_t bytes,
                                                  QString* error);
    ~ShmImageReader();
    ShmImageReader(const ShmImageReader&) = delete;
    ShmImageReader& operator=(const ShmImageReader&) = delete;

    /// Copies every read's area to its destination with the pixels made opaque (alpha 0xff),
    /// and sets `succeeded[i]` to whether read i worked. A read of a drawable that vanished
    /// fails and may leave its destination partly written.
    void read(std::span<const ImageRead> reads, std::vector<char>& succeeded);

private:
    ShmImageReader() = default;

    struct InFlight {
        size_t read;
        int firstRow;
        int rows;
        size_t offset;
        xcb_shm_get_image_cookie_t cookie;
    };
    void collect(std::span<const ImageRead> reads, std::vector<char>& succeeded);

    xcb_connection_t* connection_ = nullptr;
    xcb_shm_seg_t segment_ = XCB_NONE;
    const quint8* memory_ = nullptr;
    size_t bytes_ = 0;
    std::vector<InFlight> inFlight_;
};

}  // namespace glimmora
