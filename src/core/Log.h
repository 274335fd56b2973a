#pragma once

#include <functional>
#include <string_view>

namespace glimmora {

/// Writes one diagnostic line to standard output and flushes it, so lines from several threads
/// never interleave and a crash right after still leaves the line behind.
void logLine(std::string_view line);

/// Receives every line instead of standard output; called under the log's lock, so it sees
/// lines one at a time and must not log itself.
using LogSink = std::function<void(std::string_view line)>;

/// Sends the lines to `sink` from now on (tests read what was logged this way); an empty sink
/// restores standard output.
void setLogSink(LogSink sink);

}  // namespace glimmora
