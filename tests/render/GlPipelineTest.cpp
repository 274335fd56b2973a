#include "render/GlPipeline.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/egl/EglOffscreenContext.h"
#include "platform/gl/GlApi.h"
#include "render/OffscreenTarget.h"

namespace glimmora {
namespace {

TEST(GlPipelineGroups, EachSwitchSelectsItsOwnGroup) {
    FrameParameters f;
    EXPECT_EQ(GlPipeline::groupsInUse(f), 1u << 0) << "opacity 0 is a retro mix";
    f.retro.opacity = 1.0f;  // opaque, no amounts: nothing in use
    EXPECT_EQ(GlPipeline::groupsInUse(f), 0u);
    f.retro.opacity = 0.9f;
    EXPECT_EQ(GlPipeline::groupsInUse(f), 1u << 0);
    f.retro.opacity = 1.0f;
    f.retro.flicker = 0.02f;
    EXPECT_EQ(GlPipeline::groupsInUse(f), 1u << 0);

    FrameParameters g;
    g.retro.opacity = 1.0f;
    g.focusBand.active = 1;
    g.smartFocus.enabled = 1;
    g.cursorSpotlight.enabled = 1;
    g.breathPacer.enabled = 1;
    g.readingRuler.enabled = 1;
    g.colorBlind.enabled = 1;
    g.screenDimmer.enabled = 1;
    g.dyslexia.enabled = 1;
    g.explosion.active = 1;
    EXPECT_EQ(GlPipeline::groupsInUse(g), GlPipeline::kAllGroups - 1) << "all but retro";

    g.dyslexia.enabled = 0.4f;  // below the shader's 0.5 switch threshold
    EXPECT_EQ(GlPipeline::groupsInUse(g) & (1u << 8), 0u);
}

TEST(GlPipelineVariants, CompilesEachSetOfGroupsOnceAndDrawsTheSame) {
    QString error;
    auto context = EglOffscreenContext::create(&error);
    if (!context) {
        GTEST_SKIP() << "no offscreen OpenGL context: " << error.toStdString();
    }
    GlPipeline pipeline;
    pipeline.create();
    ASSERT_TRUE(pipeline.hasProgram());
    EXPECT_EQ(pipeline.variantCount(), 1) << "only the full program up front";

    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const unsigned pixels[4] = {0xff2040c0u, 0xff808080u, 0xff10f010u, 0xffffffffu};
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    OffscreenTarget target({2, 2});
    auto drawWith = [&](const FrameParameters& f) {
        glBindFramebuffer(GL_FRAMEBUFFER, target.target().framebuffer);
        glViewport(0, 0, 2, 2);
        pipeline.draw(texture, f);
        return target.read();
    };

    FrameParameters idle;
    idle.retro.opacity = 1.0f;
    const QImage first = drawWith(idle);
    drawWith(idle);
    EXPECT_EQ(pipeline.variantCount(), 2) << "the idle variant, compiled once";

    FrameParameters dimmed = idle;
    dimmed.screenDimmer.enabled = 1;
    dimmed.screenDimmer.brightness = -0.5f;
    const QImage darker = drawWith(dimmed);
    EXPECT_EQ(pipeline.variantCount(), 3);
    EXPECT_EQ(qGreen(darker.pixel(1, 0)), 64) << "the dimmer variant does dim";

    EXPECT_EQ(drawWith(idle), first) << "back to the cached idle variant";
    EXPECT_EQ(pipeline.variantCount(), 3);
    EXPECT_EQ(qBlue(first.pixel(0, 0)), 0xc0) << "idle draws the picture unchanged";
    glDeleteTextures(1, &texture);
}

}  // namespace
}  // namespace glimmora
