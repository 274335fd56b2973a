#include "core/SystemLog.h"

#include <syslog.h>

#include <mutex>
#include <string>
#include <utility>

namespace glimmora {

namespace {

std::mutex& systemLogMutex() {
    static std::mutex mutex;
    return mutex;
}

SystemLogSink& currentSink() {
    static SystemLogSink sink;
    return sink;
}

}  // namespace

void systemLogLine(std::string_view line) {
    const std::lock_guard lock(systemLogMutex());
    if (const SystemLogSink& sink = currentSink()) {
        sink(line);
        return;
    }
    static const bool opened = [] {
        // LOG_USER: the facility of ordinary programs; the identifier stays valid (a literal).
        ::openlog("glimmora", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    const std::string text(line);
    ::syslog(LOG_NOTICE, "%s", text.c_str());
}

void setSystemLogSink(SystemLogSink sink) {
    const std::lock_guard lock(systemLogMutex());
    currentSink() = std::move(sink);
}

}  // namespace glimmora
