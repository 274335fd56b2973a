#include "platform/x11/capture/ShmImageReader.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <cerrno>
#include <cstring>

#include "platform/x11/capture/PixelRows.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {

std::unique_ptr<ShmImageReader> ShmImageReader::create(xcb_connection_t* connection, size_t bytes,
                                                       QString* error) {
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) {
        *error = QStringLiteral("Cannot make a shared memory segment of %1 bytes: %2")
                     .arg(bytes)
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    void* memory = shmat(id, nullptr, SHM_RDONLY);
    if (memory == reinterpret_cast<void*>(-1)) {
        *error = QStringLiteral("Cannot map a shared memory segment: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        shmctl(id, IPC_RMID, nullptr);
        return nullptr;
    }
    std::unique_ptr<ShmImageReader> reader(new ShmImageReader);
    reader->connection_ = connection;
    reader->memory_ = static_cast<const quint8*>(memory);
    reader->bytes_ = bytes;
    reader->segment_ = xcb_generate_id(connection);
    XcbReply<xcb_generic_error_t> attachError(
        xcb_request_check(connection, xcb_shm_attach_checked(connection, reader->segment_, id, 0)));
    // Marked for removal now that both sides hold it: it goes away with the last detach,
    // even if this process dies.
    shmctl(id, IPC_RMID, nullptr);
    if (attachError) {
        reader->segment_ = XCB_NONE;
        *error =
            QStringLiteral(
                "X server cannot attach our shared memory (a remote display? MIT-SHM error %1)")
                .arg(attachError->error_code);
        return nullptr;
    }
    return reader;
}

ShmImageReader::~ShmImageReader() {
    if (segment_ != XCB_NONE && !xcb_connection_has_error(connection_)) {
        xcb_shm_detach(connection_, segment_);
        xcb_flush(connection_);
    }
    if (memory_ != nullptr) {
        shmdt(memory_);
    }
}

void ShmImageReader::read(std::span<const ImageRead> reads, std::vector<char>& succeeded) {
    succeeded.assign(reads.size(), 1);
    size_t offset = 0;
    for (size_t i = 0; i < reads.size(); ++i) {
        const QRect& area = reads[i].area;
        if (area.isEmpty()) {
            continue;
        }
        const size_t rowBytes = static_cast<size_t>(area.width()) * 4;
        if (rowBytes > bytes_) {
            succeeded[i] = 0;
            continue;
        }
        const int rowsPerRequest = static_cast<int>(bytes_ / rowBytes);
        for (int row = 0; row < area.height(); row += rowsPerRequest) {
            const int rows = std::min(rowsPerRequest, area.height() - row);
            const size_t size = rowBytes * static_cast<size_t>(rows);
            if (offset + size > bytes_) {
                collect(reads, succeeded);
                offset = 0;
            }
            const auto cookie = xcb_shm_get_image(
                connection_, reads[i].drawable, static_cast<int16_t>(area.x()),
                static_cast<int16_t>(area.y() + row), static_cast<uint16_t>(area.width()),
                static_cast<uint16_t>(rows), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment_,
                static_cast<uint32_t>(offset));
            inFlight_.push_back({i, row, rows, offset, cookie});
            offset += size;
        }
    }
    collect(reads, succeeded);
}

void ShmImageReader::collect(std::span<const ImageRead> reads, std::vector<char>& succeeded) {
    for (const InFlight& request : inFlight_) {
        xcb_generic_error_t* error = nullptr;
        XcbReply<xcb_shm_get_image_reply_t> reply(
            xcb_shm_get_image_reply(connection_, request.cookie, &error));
        XcbReply<xcb_generic_error_t> ownedError(error);
        if (!reply || error != nullptr || !succeeded[request.read]) {
            succeeded[request.read] = 0;
            continue;
        }
        const ImageRead& read = reads[request.read];
        const int width = read.area.width();
        const auto* source = reinterpret_cast<const quint32*>(memory_ + request.offset);
        for (int row = 0; row < request.rows; ++row) {
            copyOpaque(read.destination +
                           static_cast<ptrdiff_t>(request.firstRow + row) * read.destinationStride,
                       source + static_cast<ptrdiff_t>(row) * width, width);
        }
    }
    inFlight_.clear();
}

}  // namespace glimmora
