// Milliseconds per frame of the overlay's draw at desktop sizes, with every effect off, with five
// common ones (dimmer, spotlight, tint with line guide, ruler, colour filter) and with every
// effect on, drawn offscreen with whatever OpenGL the machine offers (Mesa llvmpipe on a
// machine without a GPU). Each iteration waits for the GPU (glFinish), so the figure is the
// whole frame's cost, not just the time to queue it.
#include <benchmark/benchmark.h>

#include <QImage>
#include <memory>

#include "capture/TestPatternSource.h"
#include "platform/egl/EglOffscreenContext.h"
#include "platform/gl/GlApi.h"
#include "render/OffscreenTarget.h"
#include "render/OverlayRenderer.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"

namespace glimmora {
namespace {

EglOffscreenContext* sharedContext() {
    static EglOffscreenContext* context = [] {
        QString error;
        return EglOffscreenContext::create(&error).release();
    }();
    return context;
}

void switchFiveOn(AppState& s) {
    s.isScreenDimmerEnabled = true;
    s.screenBrightness = -0.2f;
    s.isCursorSpotlightEnabled = true;
    s.isDyslexiaAidsEnabled = true;
    s.dyslexiaLineGuide = true;
    s.isReadingRulerEnabled = true;
    s.isColorBlindFilterEnabled = true;
    s.colorBlindFilterType = 2;
}

void switchEverythingOn(AppState& s) {
    s.isScanLinesEnabled = true;
    s.isRGBShiftEnabled = true;
    s.isNoiseEnabled = true;
    s.isFlickerEnabled = true;
    s.overlayOpacity = 0.9f;
    s.isFocusEnabled = true;
    s.focusModeEffect = 2;  // "Dim + Glitch"
    s.isReadingRulerEnabled = true;
    s.isSmartFocusEnabled = true;
    s.smartFocusEffectMode = 4;  // "Full Retro"
    s.isScreenDimmerEnabled = true;
    s.screenBrightness = -0.2f;
    s.isColorBlindFilterEnabled = true;
    s.colorBlindFilterType = 2;
    s.isCursorSpotlightEnabled = true;
    s.cursorSpotlightEffectMode = 4;
    s.isDyslexiaAidsEnabled = true;
    s.dyslexiaLineGuide = true;
    s.isBreathPacerEnabled = true;
    s.breathPacerStyle = 2;
}

// Arguments: width, height, effects (0 none, 1 five, 2 all), a new picture uploaded each frame
// (0/1).
void BM_DrawFrame(benchmark::State& state) {
    EglOffscreenContext* context = sharedContext();
    if (context == nullptr) {
        state.SkipWithError("no offscreen OpenGL context");
        return;
    }
    context->makeCurrent();
    const QSize size(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const bool everything = state.range(2) == 2;
    const bool upload = state.range(3) != 0;

    MemoryUserDefaults defaults;
    AppState settings(defaults);
    if (everything) {
        switchEverythingOn(settings);
    } else if (state.range(2) == 1) {
        switchFiveOn(settings);
    }
    double now = 10.0;
    OverlayRenderer renderer(settings, [&now] { return now; });
    renderer.initialize();
    renderer.trackerReadings().window.hasActiveWindow = true;
    renderer.trackerReadings().window.activeWindowBounds = {0.2, 0.2, 0.5, 0.5};
    const QImage pictures[2] = {TestPatternSource::patternFrame(size, 0),
                                TestPatternSource::patternFrame(size, 1)};
    OffscreenTarget target(size);

    // The first frame prints the draw report; keep that out of the figures.
    renderer.handOver().submit(pictures[0]);
    renderer.draw(target.target());
    glFinish();

    int frame = 0;
    for (auto _ : state) {
        now += 1.0 / 60;
        renderer.trackerReadings().mouse = {0.3f + 0.001f * static_cast<float>(frame % 100), 0.5f};
        if (everything && frame % 30 == 0) {
            renderer.showExplosion(0.5f, 0.5f);
        }
        if (upload) {
            renderer.handOver().submit(pictures[frame % 2]);
        }
        renderer.draw(target.target());
        glFinish();
        ++frame;
    }
    state.SetLabel(context->rendererName().toStdString());
}

BENCHMARK(BM_DrawFrame)
    ->ArgNames({"w", "h", "effects", "upload"})
    ->ArgsProduct({{1920}, {1080}, {0, 1, 2}, {0, 1}})
    ->ArgsProduct({{3840}, {2160}, {0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(1.0);

}  // namespace
}  // namespace glimmora
