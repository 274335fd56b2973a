#pragma once

#include <functional>
#include <string_view>

namespace glimmora {

/// Writes one line to the system log through syslog(3), identifier "glimmora", at the notice
/// level (journald keeps it with the other desktop programs' lines). Used where a line should
/// outlive the terminal: the text caret tracker's start and re-acquisition lines. Thread-safe.
void systemLogLine(std::string_view line);

/// Receives every system-log line instead of syslog (tests read them this way); an empty sink
/// restores syslog. Called under the log's lock, one line at a time.
using SystemLogSink = std::function<void(std::string_view line)>;
void setSystemLogSink(SystemLogSink sink);

}  // namespace glimmora
