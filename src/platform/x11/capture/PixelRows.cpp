#include "platform/x11/capture/PixelRows.h"

#include <cstring>

namespace glimmora {

void copyOpaque(quint32* destination, const quint32* source, int count) {
    // Four pixels at a time in a 128-bit vector (SSE2 or NEON); -O2 would not vectorise the
    // plain loop because of its remainder.
    using Lanes = quint32 __attribute__((vector_size(16)));
    const Lanes alpha = {0xff000000u, 0xff000000u, 0xff000000u, 0xff000000u};
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        Lanes lanes;
        std::memcpy(&lanes, source + i, sizeof lanes);
        lanes |= alpha;
        std::memcpy(destination + i, &lanes, sizeof lanes);
    }
    for (; i < count; ++i) {
        destination[i] = source[i] | 0xff000000u;
    }
}

}  // namespace glimmora
