#include "app/InheritedDescriptors.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace glimmora {

void closeInheritedDescriptors() {
    constexpr unsigned kFirst = 3;
    // One call on Linux 5.9 and later.
    if (::close_range(kFirst, ~0U, 0) == 0) {
        return;
    }
    // Older kernels: the descriptors the process has, read first and closed after, since
    // closing while reading the listing would change it.
    std::vector<int> open;
    if (DIR* listing = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(listing);
        while (const dirent* entry = ::readdir(listing)) {
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (*end == '\0' && end != entry->d_name && fd >= kFirst && fd != own) {
                open.push_back(static_cast<int>(fd));
            }
        }
        ::closedir(listing);
    }
    for (const int fd : open) {
        ::close(fd);
    }
}

}  // namespace glimmora
