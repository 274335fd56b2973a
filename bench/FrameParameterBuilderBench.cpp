// Cost of building one frame's parameter blocks, the per-frame work done on the main thread
// before every draw. Inputs change every iteration as they do on screen: the mouse moves, the
// caret comes and goes, and a click explosion is alive most of the time.

#include <benchmark/benchmark.h>

#include "render/FrameParameterBuilder.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"

namespace glimmora {
namespace {

void BM_BuildFrameParameters(benchmark::State& run) {
    MemoryUserDefaults defaults;
    AppState settings{defaults};
    settings.isFocusEnabled = true;
    settings.isReadingRulerEnabled = true;
    settings.isSmartFocusEnabled = true;
    settings.isCursorSpotlightEnabled = true;
    settings.isBreathPacerEnabled = true;
    settings.isDyslexiaAidsEnabled = true;
    RendererState state;
    FrameInputs inputs;
    inputs.window = {true, {0.12, 0.08, 0.6, 0.75}};

    long frame = 0;
    for (auto _ : run) {
        const int step = static_cast<int>(frame % 120);
        inputs.now = 5000.0 + static_cast<double>(frame) / 60.0;
        inputs.mouse = {0.2f + step * 0.005f, 0.3f + (step % 40) * 0.004f};
        inputs.caret = {0.55f, 0.4f + (step / 30) * 0.02f, step < 90};
        if (step % 30 == 0) {
            state.currentExplosion =
                Explosion{inputs.mouse.normalizedX, inputs.mouse.normalizedY, inputs.now};
        }
        FrameParameters parameters = buildFrameParameters(settings, inputs, state);
        benchmark::DoNotOptimize(parameters);
        ++frame;
    }
    run.SetItemsProcessed(run.iterations());
}
BENCHMARK(BM_BuildFrameParameters);

}  // namespace
}  // namespace glimmora
