#include "platform/Log.h"

#include <cstdio>
#include <mutex>

namespace glimmora {

void logLine(std::string_view line) {
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace glimmora
