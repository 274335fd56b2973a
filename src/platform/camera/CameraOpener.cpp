#include "platform/camera/CameraOpener.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/camera/V4l2Camera.h"
#include "platform/camera/VideoFileCamera.h"

namespace glimmora {
namespace {

constexpr int kHighestDeviceNumber = 63;

struct Probe {
    CameraOpening::Error error = CameraOpening::Error::None;
    std::string name;
    std::string description;
};

// Whether `path` is a V4L2 node that captures video, and its name. Opening without blocking
// and asking for capabilities never waits on the device.
Probe probe(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            return {CameraOpening::Error::Denied, {}, std::strerror(error)};
        }
        if (error == ENOENT || error == ENODEV || error == ENXIO) {
            return {CameraOpening::Error::Missing, {}, std::strerror(error)};
        }
        return {CameraOpening::Error::Failed, {}, std::strerror(error)};
    }
    v4l2_capability capability{};
    const bool queried = ::ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0;
    ::close(fd);
    const std::uint32_t caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS)
                                   ? capability.device_caps
                                   : capability.capabilities;
    if (!queried || !(caps & V4L2_CAP_VIDEO_CAPTURE)) {
        return {CameraOpening::Error::Missing, {}, "not a video capture device"};
    }
    return {CameraOpening::Error::None, reinterpret_cast<const char*>(capability.card), {}};
}

CameraOpening openDevice(const std::string& path, const Probe& found) {
    CameraOpening opening;
    opening.camera = V4l2Camera::open(path, found.name, &opening.description);
    if (!opening.camera) {
        opening.error = CameraOpening::Error::Failed;
    }
    return opening;
}

}  // namespace

CameraOpening openCamera(const std::string& path, const std::string& deviceDirectory) {
    if (path.empty()) {
        // The first capture device; a denied one is reported only when none can be opened.
        std::optional<Probe> denied;
        for (int i = 0; i <= kHighestDeviceNumber; ++i) {
            const std::string node = deviceDirectory + "/video" + std::to_string(i);
            struct stat status {};
            if (::stat(node.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) {
                continue;
            }
            const Probe found = probe(node);
            if (found.error == CameraOpening::Error::None) {
                return openDevice(node, found);
            }
            if (found.error == CameraOpening::Error::Denied && !denied) {
                denied = found;
            }
        }
        if (denied) {
            return CameraOpening{nullptr, denied->error, denied->description};
        }
        return CameraOpening{nullptr, CameraOpening::Error::Missing, {}};
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return CameraOpening{nullptr, CameraOpening::Error::Missing, std::strerror(errno)};
    }
    if (S_ISCHR(status.st_mode)) {
        const Probe found = probe(path);
        if (found.error != CameraOpening::Error::None) {
            return CameraOpening{nullptr, found.error, found.description};
        }
        return openDevice(path, found);
    }
    CameraOpening opening;
    opening.camera = VideoFileCamera::open(path, &opening.description);
    if (!opening.camera) {
        opening.error = CameraOpening::Error::Failed;
    }
    return opening;
}

}  // namespace glimmora
