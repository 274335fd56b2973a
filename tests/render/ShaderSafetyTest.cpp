// What the effects do to the people they serve, measured on the pixels: text contrast under the
// dyslexia tint (WCAG ratios), flashing under the glitch effects (no more than three a second),
// sharpness of text read through the ruler, and the brightness of desaturated colours.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "platform/egl/EglOffscreenContext.h"
#include "platform/gl/GlApi.h"
#include "render/GlPipeline.h"
#include "render/OffscreenTarget.h"
#include "render/ParameterBlocks.h"
#include "render/PictureTextures.h"
#include "support/PixelTestSupport.h"

namespace glimmora {
namespace {

using namespace pixeltest;

constexpr float kTime = 100.0f;

double linearLevel(double level) {
    const double c = level / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double relativeLuminance(Rgb c) {
    return 0.2126 * linearLevel(c.r) + 0.7152 * linearLevel(c.g) + 0.0722 * linearLevel(c.b);
}

double contrastRatio(Rgb a, Rgb b) {
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

FrameParameters everythingOff(float time = kTime) {
    FrameParameters frame;
    frame.time.time = time;
    frame.retro.opacity = 1.0f;
    frame.focusBand = {0.5f, 0.12f, 0.0f, 0.03f};
    frame.readingRuler = {0.5f, 0.5f, 0.06f, 1.5f, 0.0f};
    frame.smartFocus.time = time;
    frame.cursorSpotlight.borderWidth = 0.03f;
    frame.cursorSpotlight.time = time;
    frame.focusEffect.tuning = 0.3f;
    return frame;
}

class ShaderSafetyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QString error;
        context_ = EglOffscreenContext::create(&error).release();
        if (context_ == nullptr) {
            contextError_ = error.toStdString();
            return;
        }
        pipeline_ = new GlPipeline;
        pipeline_->create();
        textures_ = new PictureTextures;
    }

    static void TearDownTestSuite() {
        if (context_ != nullptr) {
            context_->makeCurrent();
        }
        delete textures_;
        delete pipeline_;
        delete context_;
        textures_ = nullptr;
        pipeline_ = nullptr;
        context_ = nullptr;
    }

    void SetUp() override {
        if (context_ == nullptr) {
            GTEST_SKIP() << "no offscreen OpenGL context: " << contextError_;
        }
        context_->makeCurrent();
        ASSERT_TRUE(pipeline_->hasProgram()) << "the shader program did not build";
    }

    static QImage render(const QImage& picture, const FrameParameters& frame) {
        textures_->setDisplay(picture);
        OffscreenTarget target(picture.size());
        const RenderTarget where = target.target();
        glBindFramebuffer(GL_FRAMEBUFFER, where.framebuffer);
        glViewport(0, 0, where.width, where.height);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_BLEND);
        pipeline_->draw(textures_->display(), frame);
        return target.read();
    }

    static inline EglOffscreenContext* context_ = nullptr;
    static inline std::string contextError_;
    static inline GlPipeline* pipeline_ = nullptr;
    static inline PictureTextures* textures_ = nullptr;
};

TEST_F(ShaderSafetyTest, TintKeepsTextContrastAndTintsThePage) {
    const Rgb white{255, 255, 255};
    const QSize size(8, 8);
    for (int tint = 1; tint <= 4; ++tint) {
        FrameParameters frame = everythingOff();
        frame.dyslexia = {float(tint), 1.0f, 0, 0.0f, 0.5f, 1.0f, 0, 0};
        const Rgb fullTint = rgbAt(render(solidPicture(size, white), frame), 4, 4);
        // The option list's strengths, from "Subtle" to "Strong".
        for (const float strength : {0.15f, 0.25f, 0.4f, 0.6f}) {
            SCOPED_TRACE("tint " + std::to_string(tint) + " at " + std::to_string(strength));
            frame.dyslexia.tintStrength = strength;
            const Rgb page = rgbAt(render(solidPicture(size, white), frame), 4, 4);
            EXPECT_LE(maxDifference(page, white + (fullTint - white) * strength), 2.0);
            // The page itself takes the tint, so the best any tint can do is the text left as
            // it was on the tinted page: it must keep nine tenths of that, and stay readable.
            for (const Rgb text : {Rgb{0, 0, 0}, Rgb{0x59, 0x59, 0x59}}) {
                const Rgb shown = rgbAt(render(solidPicture(size, text), frame), 4, 4);
                EXPECT_GE(contrastRatio(shown, page), 0.9 * contrastRatio(text, page))
                    << "text level " << text.r;
                EXPECT_GE(contrastRatio(shown, page), 4.5) << "text level " << text.r;
            }
        }
    }
}

/// How often each area of the screen flashes over a run of frames: the number of changes of at
/// least 0.1 in mean relative luminance, each opposite to the one before.
int mostFlashesOfAnyArea(const std::vector<QImage>& frames, QSize area) {
    std::array<double, 256> luminanceOfLevel{};
    for (int level = 0; level < 256; ++level) {
        luminanceOfLevel[level] = linearLevel(level);  // the stripes are grey: r = g = b
    }
    const int w = frames.front().width();
    const int h = frames.front().height();
    // Mean luminance of every area of every frame; areas on a grid and on the grid shifted by
    // half an area, so that no flashing area falls between two.
    std::vector<std::vector<double>> means;  // [area][frame]
    for (const QImage& frame : frames) {
        int index = 0;
        for (int offset = 0; offset < 2; ++offset) {
            for (int top = offset * area.height() / 2; top + area.height() <= h;
                 top += area.height()) {
                for (int left = offset * area.width() / 2; left + area.width() <= w;
                     left += area.width(), ++index) {
                    double sum = 0;
                    for (int y = top; y < top + area.height(); ++y) {
                        const QRgb* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
                        for (int x = left; x < left + area.width(); ++x) {
                            sum += luminanceOfLevel[qGreen(row[x])];
                        }
                    }
                    if (index == int(means.size())) {
                        means.emplace_back();
                    }
                    means[index].push_back(sum / (area.width() * area.height()));
                }
            }
        }
    }
    int most = 0;
    for (const std::vector<double>& series : means) {
        int flashes = 0;
        int direction = 0;
        double extreme = series.front();
        for (const double mean : series) {
            const int now = mean > extreme ? 1 : -1;
            if (std::abs(mean - extreme) >= 0.1 && now != direction) {
                ++flashes;
                direction = now;
                extreme = mean;
            } else if (now == direction) {
                extreme = direction > 0 ? std::max(extreme, mean) : std::min(extreme, mean);
            }
        }
        most = std::max(most, flashes);
    }
    return most;
}

TEST_F(ShaderSafetyTest, GlitchesFlashNoMoreThanThreeTimesASecond) {
    // A quarter of 1920x1080 each way, so an area a quarter of a 341x256 window at 1080p is
    // 21x16 here.
    const QSize size(480, 270);
    const QSize area(21, 16);
    QImage stripes(size, QImage::Format_RGB32);
    for (int x = 0; x < size.width(); ++x) {
        for (int y = 0; y < size.height(); ++y) {
            stripes.setPixel(x, y, (x / 12) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        }
    }
    struct Glitch {
        const char* name;
        void (*apply)(FrameParameters&);
    };
    const Glitch glitches[] = {
        {"focus band Glitch Only",
         [](FrameParameters& f) {
             f.focusBand.active = 1;
             f.focusEffect = {1, 1.0f, 1.0f, 1.0f, 0.3f, 1, 0, 0};
         }},
        {"smart focus Dim + Glitch",
         [](FrameParameters& f) {
             f.smartFocus.minX = f.smartFocus.minY = 0.45f;
             f.smartFocus.maxX = f.smartFocus.maxY = 0.55f;
             f.smartFocus.blurStrength = 1.0f;
             f.smartFocus.fadeWidth = 0.02f;
             f.smartFocus.enabled = 1;
             f.smartFocus.effectMode = 5;
         }},
        {"breath Glitch Pulse",
         [](FrameParameters& f) { f.breathPacer = {1.0f, 3, 1.0f, 6.0f, 1, 0, 0, 0}; }},
    };
    for (const Glitch& glitch : glitches) {
        // One second of frames at 60 a second, from a start between the pattern's steps.
        for (const float start : {kTime, kTime + 0.1f}) {
            SCOPED_TRACE(std::string(glitch.name) + " from " + std::to_string(start));
            std::vector<QImage> frames;
            for (int i = 0; i < 60; ++i) {
                FrameParameters frame = everythingOff(start + i / 60.0f);
                glitch.apply(frame);
                frames.push_back(render(stripes, frame));
            }
            ASSERT_NE(frames.front(), frames.back()) << "the glitch does not move";
            EXPECT_LE(mostFlashesOfAnyArea(frames, area), 3);
        }
    }
}

TEST_F(ShaderSafetyTest, RulerKeepsOnePixelStrokesBlack) {
    const QSize size(320, 200);
    QImage page(size, QImage::Format_RGB32);
    page.fill(Qt::white);
    const int strokeX = 163;  // just right of the ruler's anchor at the centre
    for (int y = 0; y < size.height(); ++y) {
        page.setPixel(strokeX, y, qRgb(0, 0, 0));
    }
    for (const float zoom : {1.5f, 2.0f, 2.5f}) {
        for (const float anchorX : {0.5f, 0.5031f}) {  // on a pixel boundary, and off it
            SCOPED_TRACE("zoom " + std::to_string(zoom) + " anchor " + std::to_string(anchorX));
            FrameParameters frame = everythingOff();
            frame.readingRuler = {anchorX, 0.5f, 0.3f, zoom, 1.0f};
            const QImage out = render(page, frame);
            // The darkest pixel of the magnified stroke, on a row inside the ruler band.
            double darkest = 255;
            for (int x = 0; x < size.width(); ++x) {
                darkest = std::min(darkest, rgbAt(out, x, size.height() / 2).r);
            }
            EXPECT_LE(darkest, 0.1 * 255);
        }
    }
}

TEST_F(ShaderSafetyTest, DesaturationKeepsEachColoursLuminance) {
    const QSize size(64, 64);
    for (const Rgb colour : {Rgb{255, 0, 0}, Rgb{0, 0, 255}, Rgb{0, 160, 0}}) {
        SCOPED_TRACE("colour " + std::to_string(int(colour.r)) + "," +
                     std::to_string(int(colour.g)) + "," + std::to_string(int(colour.b)));
        FrameParameters frame = everythingOff();
        frame.focusBand = {0.9f, 0.1f, 1.0f, 0.03f};
        frame.focusEffect = {4, 1.0f, 1.0f, 1.0f, 0.3f, 1, 0, 0};
        const Rgb grey = rgbAt(render(solidPicture(size, colour), frame), 32, 10);
        EXPECT_LE(std::max({grey.r, grey.g, grey.b}) - std::min({grey.r, grey.g, grey.b}), 1.0);
        EXPECT_NEAR(relativeLuminance(grey), relativeLuminance(colour), 0.01);
    }
}

}  // namespace
}  // namespace glimmora
