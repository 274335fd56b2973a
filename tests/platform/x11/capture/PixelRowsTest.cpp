#include "platform/x11/capture/PixelRows.h"

#include <gtest/gtest.h>

#include <vector>

namespace glimmora {
namespace {

TEST(PixelRowsTest, CopiesOpaqueWhateverTheLength) {
    for (int count = 0; count <= 9; ++count) {
        std::vector<quint32> source(static_cast<size_t>(count));
        std::vector<quint32> destination(static_cast<size_t>(count) + 1, 0x12345678u);
        for (int i = 0; i < count; ++i) {
            source[static_cast<size_t>(i)] = quint32(i) << 24 | 0x010203u * (i + 1);
        }
        copyOpaque(destination.data(), source.data(), count);
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(destination[static_cast<size_t>(i)], 0xff000000u | 0x010203u * (i + 1));
        }
        EXPECT_EQ(destination.back(), 0x12345678u) << "nothing written past " << count;
    }
}

}  // namespace
}  // namespace glimmora
