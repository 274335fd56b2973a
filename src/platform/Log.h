#pragma once

#include <string_view>

namespace glimmora {

/// Writes one diagnostic line to standard output and flushes it, so lines from several threads
/// never interleave and a crash right after still leaves the line behind.
void logLine(std::string_view line);

}  // namespace glimmora
