// Proves that building a frame's parameters never touches the heap: it runs 60 times a second
// for as long as the overlay is up. This executable replaces the global allocation functions
// with counting ones, so it is kept apart from the other tests.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "render/FrameParameterBuilder.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"

namespace {

std::atomic<long> allocationCount{0};

}  // namespace

// The scalar forms; the library's array forms call them. Each pair allocates and frees alike, so
// that a sanitizer's own versions of the other forms never meet memory from these.
void* operator new(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace glimmora {
namespace {

TEST(FrameParameterBuilderAllocationTest, BuildingFramesAllocatesNothing) {
    MemoryUserDefaults defaults;
    AppState settings{defaults};
    settings.isFocusEnabled = true;
    settings.isReadingRulerEnabled = true;
    settings.isSmartFocusEnabled = true;
    settings.isBreathPacerEnabled = true;
    settings.isGazeTrackingEnabled = true;
    RendererState state;
    FrameInputs inputs;
    inputs.window = {true, {0.1, 0.1, 0.5, 0.6}};

    const long atStart = allocationCount.load();
    const auto counted = std::make_unique<int>(1);  // the counter must see an allocation
    EXPECT_EQ(allocationCount.load() - atStart, 1);

    float checksum = 0;
    const long before = allocationCount.load();
    for (int frame = 0; frame < 240; ++frame) {
        inputs.now = 100.0 + frame / 60.0;
        inputs.mouse = {0.3f + frame * 0.001f, 0.2f + (frame % 30) * 0.01f};
        inputs.caret = {0.6f, 0.4f + (frame / 20) * 0.01f, frame % 50 < 40};
        inputs.gaze = {frame % 3 == 0, 0.45f};
        if (frame % 45 == 0) {
            state.currentExplosion = Explosion{0.5f, 0.5f, inputs.now};  // born and forgotten
        }
        checksum += buildFrameParameters(settings, inputs, state).focusBand.centerY;
    }
    EXPECT_EQ(allocationCount.load() - before, 0);
    EXPECT_GT(checksum, 0.0f);
}

}  // namespace
}  // namespace glimmora
