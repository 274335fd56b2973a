#include "core/Log.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace glimmora {

namespace {

std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

LogSink& currentSink() {
    static LogSink sink;
    return sink;
}

}  // namespace

void logLine(std::string_view line) {
    const std::lock_guard lock(logMutex());
    if (const LogSink& sink = currentSink()) {
        sink(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void setLogSink(LogSink sink) {
    const std::lock_guard lock(logMutex());
    currentSink() = std::move(sink);
}

}  // namespace glimmora
