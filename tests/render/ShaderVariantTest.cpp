#include <gtest/gtest.h>

#include <QImage>
#include <functional>
#include <memory>
#include <string>

#include "platform/gl/GlApi.h"
#include "render/GlPipeline.h"
#include "render/OffscreenTarget.h"
#include "render/PictureTextures.h"
#include "support/OffscreenGlTest.h"
#include "support/PixelTestSupport.h"

namespace glimmora {
namespace {

using ShaderVariantTest = test::OffscreenGlTest;

// Every variant that leaves code out must draw what the program with everything in draws, for
// each effect that needs the retro ingredients a variant can leave out; and with nearest
// filtering wherever it may choose it (at one texel per pixel) what bilinear filtering draws;
// and the ruler's band drawn apart from the rest of the frame what one pass draws.
TEST_F(ShaderVariantTest, AVariantDrawsWhatTheWholeProgramDraws) {
    GlPipeline pipeline;
    pipeline.create();
    PictureTextures textures;
    const QSize size(96, 64);
    textures.setDisplay(pixeltest::paintedPicture(
        size, [](int x, int y) { return qRgb(x * 37 % 256, y * 53 % 256, (x ^ y) * 11 % 256); }));
    OffscreenTarget target(size);

    auto region = [](float mode) {
        return [mode](FrameParameters& f) {
            f.smartFocus = {0.4f, 0.4f, 0.6f, 0.6f, 1, 0.05f, 1, mode, 0, 0, 0, 0};
            f.cursorSpotlight = {0.5f, 0.5f, 0.1f, 0.03f, 0.8f, 1, mode, 0};
        };
    };
    const struct {
        const char* what;
        std::function<void(FrameParameters&)> set;
    } rows[] = {
        {"scan lines", region(1)},
        {"channel split", region(2)},
        {"noise", region(3)},
        {"full retro", region(4)},
        {"dim and glitch", region(5)},
        {"band glitch",
         [](FrameParameters& f) {
             f.focusBand = {0.5f, 0.2f, 1, 0.03f};
             f.focusEffect = {1, 1, 0.5f, 0, 0.3f, 1, 0, 0};
         }},
        {"glitch pulse", [](FrameParameters& f) { f.breathPacer = {0.8f, 3, 1, 6, 1, 0, 0, 0}; }},
        {"ruler",
         [](FrameParameters& f) {
             f.readingRuler = {0.5f, 0.5f, 0.4f, 1.5f, 1};
         }},
        {"retro",
         [](FrameParameters& f) {
             f.retro = {0.5f, 0.004f, 0.2f, 0.3f, 1};
         }},
    };
    for (const auto& row : rows) {
        FrameParameters frame;
        frame.time.time = 12.34f;
        frame.retro.opacity = 1;
        row.set(frame);
        QImage drawn[2];
        for (int whole = 0; whole < 2; ++whole) {
            glBindFramebuffer(GL_FRAMEBUFFER, target.target().framebuffer);
            glViewport(0, 0, size.width(), size.height());
            if (whole != 0) {
                pipeline.drawVariant(GlPipeline::kAllVariants, textures.display(), frame, false);
            } else {
                pipeline.draw(textures.display(), frame, true);
            }
            drawn[whole] = target.read();
        }
        EXPECT_NE(GlPipeline::variantOf(frame), GlPipeline::kAllVariants) << row.what;
        EXPECT_EQ(drawn[0], drawn[1]) << row.what;
    }
}

}  // namespace
}  // namespace glimmora
