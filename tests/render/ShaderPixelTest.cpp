// Pixel tests of the fragment shader: each effect drawn offscreen on a known picture and read
// back, with the expected pixels worked out here from what the effect is meant to do.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/gl/GlApi.h"
#include "render/GlPipeline.h"
#include "render/OffscreenTarget.h"
#include "render/ParameterBlocks.h"
#include "render/PictureTextures.h"
#include "support/OffscreenGlTest.h"
#include "support/PixelTestSupport.h"

namespace glimmora {
namespace {

using namespace pixeltest;

constexpr float kTime = 100.0f;
// One level of 8-bit rounding where the GPU rounds a computed colour.
constexpr double kRounding = 1.0;
constexpr QSize kSize{160, 120};

/// Every block with its group switched off, amounts zero and full opacity, the fixed tuning
/// values in place: the frame that must reproduce the picture.
FrameParameters everythingOff() {
    FrameParameters frame;
    frame.time.time = kTime;
    frame.retro.opacity = 1.0f;
    frame.focusBand = {0.5f, 0.12f, 0.0f, 0.03f};
    frame.readingRuler = {0.5f, 0.5f, 0.06f, 1.5f, 0.0f};
    frame.smartFocus.time = kTime;
    frame.cursorSpotlight.borderWidth = 0.03f;
    frame.cursorSpotlight.time = kTime;
    frame.focusEffect.tuning = 0.3f;
    return frame;
}

template <typename Block>
FrameParameters with(Block FrameParameters::*block, std::type_identity_t<Block> value,
                     FrameParameters frame = everythingOff()) {
    frame.*block = value;
    return frame;
}

double linearLevel(double level) {
    const double c = level / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double relativeLuminance(Rgb c) {
    return 0.2126 * linearLevel(c.r) + 0.7152 * linearLevel(c.g) + 0.0722 * linearLevel(c.b);
}

/// The WCAG contrast ratio of two colours, 1 to 21.
double contrastRatio(Rgb a, Rgb b) {
    const auto [dark, light] = std::minmax({relativeLuminance(a), relativeLuminance(b)});
    return (light + 0.05) / (dark + 0.05);
}

class ShaderPixelTest : public test::OffscreenGlTest {
protected:
    static void SetUpTestSuite() {
        OffscreenGlTest::SetUpTestSuite();
        if (context_) {
            pipeline_ = std::make_unique<GlPipeline>();
            pipeline_->create();
            textures_ = std::make_unique<PictureTextures>();
        }
    }

    static void TearDownTestSuite() {
        if (context_) {
            context_->makeCurrent();  // the GPU objects go with their context current
        }
        textures_.reset();
        pipeline_.reset();
        OffscreenGlTest::TearDownTestSuite();
    }

    void SetUp() override {
        OffscreenGlTest::SetUp();
        ASSERT_TRUE(IsSkipped() || pipeline_->hasProgram()) << "the shader program did not build";
    }

    /// Draws `picture` through the shader with `frame` in the renderer's drawing state (no
    /// blending: the shader writes every pixel opaque) and reads the result back.
    static QImage render(const QImage& picture, const FrameParameters& frame) {
        textures_->setDisplay(picture);
        OffscreenTarget target(picture.size());
        glBindFramebuffer(GL_FRAMEBUFFER, target.target().framebuffer);
        glViewport(0, 0, picture.width(), picture.height());
        glDisable(GL_BLEND);
        pipeline_->draw(textures_->display(), frame);
        return target.read();
    }

    static Rgb shownFor(Rgb colour, const FrameParameters& frame) {
        return rgbAt(render(solidPicture(QSize(8, 8), colour), frame), 4, 4);
    }

    static inline std::unique_ptr<GlPipeline> pipeline_;
    static inline std::unique_ptr<PictureTextures> textures_;
};

TEST_F(ShaderPixelTest, EveryGroupSwitchedOffLeavesThePictureAlone) {
    using F = FrameParameters;
    // Each group's other fields at telling values, only its switch off.
    const std::pair<const char*, F> groups[] = {
        {"everything off", everythingOff()},
        {"focus band", with(&F::focusBand, {0.4f, 0.2f, 0.0f, 0.03f},
                            with(&F::focusEffect, {2.0f, 0.9f, 0.9f, 0.9f, 0.3f, 0.0f, 0, 0}))},
        {"ruler", with(&F::readingRuler, {0.3f, 0.4f, 0.2f, 2.0f, 0})},
        {"smart focus", with(&F::smartFocus, {0.2f, 0.2f, 0.6f, 0.6f, 1, 0.05f, 0, 5, kTime})},
        {"dimmer", with(&F::screenDimmer, {-0.7f, 0.0f})},
        {"colour filter", with(&F::colorBlind, {4.0f, 1.0f, 0.0f})},
        {"spotlight", with(&F::cursorSpotlight, {0.5f, 0.5f, 0.1f, 0.03f, 0.9f, 0, 4, kTime})},
        {"dyslexia aids", with(&F::dyslexia, {2.0f, 0.5f, 0, 1.0f, 0.5f, 0.0f})},
        {"breath pacer", with(&F::breathPacer, {1.0f, 3.0f, 1.0f, 6.0f, 0.0f})},
        {"explosion", with(&F::explosion, {0.5f, 0.5f, 0.1f, 0.0f})},
    };
    const QImage picture = variedPicture(QSize(317, 211));  // odd sizes show any row padding
    for (const auto& [name, frame] : groups) {
        SCOPED_TRACE(name);
        const QImage out = render(picture, frame);
        EXPECT_TRUE(pixelsMatch(out, everywhere(), unchangedFrom(picture), 0));
        EXPECT_EQ(qAlpha(out.pixel(316, 210)), 255);
    }
}

// The region effects: the focus band, smart focus and the cursor spotlight keep an area as it
// is and apply their effect outside it, blending it in across an edge.

enum class Region { FocusBand, FocusBandFaceOnly, SmartFocus, Spotlight };

struct RegionCase {
    const char* name;
    Region region;
    int mode;
    QSize size = kSize;
    /// For a pure dimming, the share of light it takes outside at amount 1; else 0.
    double dimming = 0;
};

/// Effect `mode` of `region` at `amount`, everything else off. The focus band's amounts that
/// `mode` does not read are high, so an effect that read another's amount would show at 0.
FrameParameters regionFrame(const RegionCase& c, float amount) {
    FrameParameters f = everythingOff();
    switch (c.region) {
        case Region::FocusBand:
        case Region::FocusBandFaceOnly: {
            f.focusBand = {0.4f, 0.3f, 1.0f, 0.03f};
            f.focusEffect = {float(c.mode), 0.9f, 0.9f, 0.9f, 0.3f, 1.0f, 0, 0};
            // A detected face activates the band with focus mode itself off.
            f.focusEffect.enabled = c.region == Region::FocusBandFaceOnly ? 0.0f : 1.0f;
            const bool glitches = c.mode == 1 || c.mode == 2;
            const bool dims = c.mode == 0 || c.mode == 2 || c.mode == 3;
            f.focusEffect.glitchAmount = glitches ? amount : 0.9f;
            f.focusEffect.dimAmount = dims ? amount : 0.9f;
            f.focusEffect.desatAmount = c.mode == 4 ? amount : 0.9f;
            break;
        }
        case Region::SmartFocus:
            f.smartFocus = {0.25f, 0.3f,          0.7f,  0.75f, amount, 0.05f,
                            1.0f,  float(c.mode), kTime, 0,     0,      0};
            break;
        case Region::Spotlight:
            f.cursorSpotlight = {0.4f, 0.55f, 0.25f, 0.03f, amount, 1.0f, float(c.mode), kTime};
            break;
    }
    return f;
}

/// How far the centre of pixel (x, y) lies outside the kept area (negative inside), in the
/// region's own measure: texture coordinates, or screen heights for the round spotlight.
double outsideBy(const RegionCase& c, int x, int y) {
    const double u = centre(x, c.size.width());
    const double v = centre(y, c.size.height());
    switch (c.region) {
        case Region::FocusBand:
        case Region::FocusBandFaceOnly:
            return std::abs(v - 0.4) - 0.15;
        case Region::SmartFocus: {
            const double dx = std::max(0.25 - u, u - 0.7);
            const double dy = std::max(0.3 - v, v - 0.75);
            return dx <= 0 && dy <= 0 ? std::max(dx, dy)
                                      : std::hypot(std::max(dx, 0.0), std::max(dy, 0.0));
        }
        case Region::Spotlight:
            return std::hypot((u - 0.4) * c.size.width() / c.size.height(), v - 0.55) - 0.25;
    }
    return 0;
}

class RegionEffectTest : public ShaderPixelTest,
                         public ::testing::WithParamInterface<RegionCase> {};

TEST_P(RegionEffectTest, ChangesOnlyOutsideTheKeptAreaByItsAmount) {
    const RegionCase& c = GetParam();
    const QImage picture = variedPicture(c.size);
    const double edge = c.region == Region::SmartFocus ? 0.05 : 0.03;
    const double pixel = 1.0 / c.size.height();
    const auto inside = [&](int x, int y) { return outsideBy(c, x, y) < -pixel; };
    const auto beyond = [&](int x, int y) { return outsideBy(c, x, y) > edge + pixel; };

    const QImage strong = render(picture, regionFrame(c, 0.8f));
    EXPECT_TRUE(pixelsMatch(strong, inside, unchangedFrom(picture), 0));
    EXPECT_GT(changedShare(strong, picture, beyond), 0.4);  // scan lines: every other row
    EXPECT_LT(totalDifference(render(picture, regionFrame(c, 0.2f)), picture, beyond),
              0.6 * totalDifference(strong, picture, beyond));
    EXPECT_TRUE(pixelsMatch(render(picture, regionFrame(c, 0.0f)), everywhere(),
                            unchangedFrom(picture), 0));
    if (c.dimming == 0) {
        return;
    }
    // Dimming: exact beyond the edge, in between across it, blending in smoothly: in the edge's
    // first quarter less than a third of the way, in its last quarter over two thirds.
    const auto partWay = [&](double t) { return scaledFrom(picture, 1.0 - t * c.dimming * 0.8); };
    const auto across = [&](double from, double to) {
        return [&, from, to](int x, int y) {
            const double r = outsideBy(c, x, y) / edge;
            return r > from && r < to;
        };
    };
    EXPECT_TRUE(pixelsMatch(strong, beyond, partWay(1), kRounding));
    EXPECT_TRUE(pixelsWithin(strong, across(-pixel / edge, 1 + pixel / edge), partWay(0),
                             partWay(1), kRounding));
    EXPECT_TRUE(pixelsWithin(strong, across(0, 0.25), partWay(0), partWay(1.0 / 3), kRounding));
    EXPECT_TRUE(pixelsWithin(strong, across(0.75, 1), partWay(2.0 / 3), partWay(1), kRounding));
}

INSTANTIATE_TEST_SUITE_P(
    Regions, RegionEffectTest,
    ::testing::Values(RegionCase{"BandDim", Region::FocusBand, 0, kSize, 1.0},
                      RegionCase{"BandDimWithFaceOnly", Region::FocusBandFaceOnly, 0, kSize, 1.0},
                      RegionCase{"BandGlitch", Region::FocusBand, 1},
                      RegionCase{"BandVignette", Region::FocusBand, 3},
                      RegionCase{"BandDesaturate", Region::FocusBand, 4},
                      // "Dim Only" keeps a fifth of the light, so the desktop stays findable.
                      RegionCase{"SmartFocusDim", Region::SmartFocus, 0, kSize, 0.8},
                      RegionCase{"SmartFocusDimGlitch", Region::SmartFocus, 5},
                      // Measured in texture coordinates the spot would be an ellipse here.
                      RegionCase{"SpotlightDimWide", Region::Spotlight, 0, {320, 160}, 1.0},
                      RegionCase{"SpotlightRgbShift", Region::Spotlight, 2, {320, 180}}),
    [](const ::testing::TestParamInfo<RegionCase>& info) { return info.param.name; });

TEST_F(ShaderPixelTest, RulerMagnifiesItsBandAboutTheRuler) {
    const QSize size(240, 160);
    const QImage picture = rampPicture(size);
    // Centred on column 96 and row 80, rows 60 to 99 (40 rows), twice as large.
    const QImage out =
        render(picture, with(&FrameParameters::readingRuler, {0.4f, 0.5f, 0.25f, 2.0f, 1.0f}));

    // How far a row's centre lies outside the band, in pixels.
    const auto outside = [](int y) { return std::abs(y + 0.5 - 80) - 20; };
    // The ramp at ruler + (p - ruler) / 2, read off: red is the column, green the row.
    const auto magnified = [](int x, int y) {
        const double column = std::clamp(96 + (x + 0.5 - 96) / 2 - 0.5, 0.0, 239.0);
        return Rgb{column, 80 + (y + 0.5 - 80) / 2 - 0.5, 255 - column};
    };
    EXPECT_TRUE(pixelsMatch(
        out, [&](int, int y) { return outside(y) < -1; }, magnified, kRounding));
    EXPECT_TRUE(pixelsMatch(
        out, [&](int, int y) { return outside(y) > 1; }, unchangedFrom(picture), 0));
}

TEST_F(ShaderPixelTest, DimmerAndOpacityMixAsWorkedOut) {
    const QImage picture = variedPicture(kSize);
    // Brightness, opacity, the share of the picture shown and the share of white added.
    const std::tuple<float, float, double, double> cases[] = {
        {-0.5f, 1.0f, 0.5, 0},   {-0.8f, 1.0f, 0.2, 0},  // negative brightness scales down
        {0.5f, 1.0f, 0.5, 0.5},   // positive brightness goes halfway to white
        {-0.5f, 0.5f, 0.75, 0},   // half of the dimmed picture, half of the original
        {1.0f, 0.3f, 0.7, 0.3},   // 0.3 of white over 0.7 of the original
        {-1.0f, 0.0f, 1.0, 0.0},  // nothing of the processed black shows
    };
    for (const auto& [brightness, opacity, keep, white] : cases) {
        SCOPED_TRACE(testing::Message() << "brightness " << brightness << ", opacity " << opacity);
        const FrameParameters frame = with(&FrameParameters::screenDimmer, {brightness, 1},
                                           with(&FrameParameters::retro, {0, 0, 0, 0, opacity}));
        const auto expected = [&](int x, int y) {
            return rgbAt(picture, x, y) * keep + Rgb{255, 255, 255} * white;
        };
        EXPECT_TRUE(pixelsMatch(render(picture, frame), everywhere(), expected, kRounding));
    }
}

// Colour-vision filters, against colour science written out here independently of the shader.

double encodeSrgb(double linear) {
    const double c = std::clamp(linear, 0.0, 1.0);
    return 255.0 * (c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055);
}

/// How a dichromat sees an 8-bit colour: `view` (3 × 3, row by row) applied in linear light.
Rgb seenBy(const std::array<double, 9>& view, Rgb c) {
    const double linear[3] = {linearLevel(c.r), linearLevel(c.g), linearLevel(c.b)};
    double seen[3];
    for (int row = 0; row < 3; ++row) {
        seen[row] = encodeSrgb(view[3 * row] * linear[0] + view[3 * row + 1] * linear[1] +
                               view[3 * row + 2] * linear[2]);
    }
    return {seen[0], seen[1], seen[2]};
}

TEST_F(ShaderPixelTest, DaltonisationSeparatesColoursADichromatConfuses) {
    struct Case {
        int type;
        std::array<double, 9> view;  // Machado, Oliveira and Fernandes (IEEE TVCG 2009), 1.0
        Rgb a, b;  // either side of a mid grey, along the direction `view` shrinks most
    };
    // clang-format off
    const Case cases[] = {
        {1, {0.152286, 1.052583, -0.204868, 0.114503, 0.786281, 0.099216, -0.003882, -0.048116,
             1.051998}, {179, 144, 149}, {109, 154, 149}},
        {2, {0.367322, 0.860646, -0.227968, 0.280085, 0.672501, 0.047413, -0.011820, 0.042940,
             0.968881}, {112, 161, 148}, {177, 135, 150}},
        {3, {1.255528, -0.076749, -0.178779, -0.078411, 0.930809, 0.147602, 0.004733, 0.691367,
             0.303900}, {145, 157, 110}, {153, 140, 178}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE("filter type " + std::to_string(c.type));
        const FrameParameters frame = with(&FrameParameters::colorBlind, {float(c.type), 1, 1});
        EXPECT_GT(maxDifference(seenBy(c.view, shownFor(c.a, frame)),
                                seenBy(c.view, shownFor(c.b, frame))),
                  maxDifference(seenBy(c.view, c.a), seenBy(c.view, c.b)) + 20);
    }
}

TEST_F(ShaderPixelTest, TintColoursThePageLikeAnOverlaySheetAndKeepsTextContrast) {
    const Rgb white{255, 255, 255};
    const std::pair<const char*, bool (*)(Rgb)> tints[] = {
        {"cream, a warm off-white", [](Rgb c) { return c.r >= c.g && c.g > c.b; }},
        {"blue", [](Rgb c) { return c.b > c.g && c.g > c.r; }},
        {"green", [](Rgb c) { return c.g > c.r && c.g > c.b; }},
        {"pink", [](Rgb c) { return c.r > c.b && c.b > c.g; }},
    };
    for (int index = 1; index <= 4; ++index) {
        SCOPED_TRACE(tints[index - 1].first);
        FrameParameters frame = with(&FrameParameters::dyslexia, {float(index), 1.0f, 0, 0, 0, 1});
        const Rgb tint = shownFor(white, frame);
        EXPECT_TRUE(tints[index - 1].second(tint));
        EXPECT_GT(std::min({tint.r, tint.g, tint.b}), 150) << "a light colour, never a strong one";
        // The option list's strengths, "Subtle" to "Strong". The page takes the tint in
        // proportion; text must keep nine tenths of the contrast it had on that page, and stay
        // readable (4.5:1 for body text).
        for (const float strength : {0.15f, 0.25f, 0.4f, 0.6f}) {
            SCOPED_TRACE("strength " + std::to_string(strength));
            frame.dyslexia.tintStrength = strength;
            const Rgb page = shownFor(white, frame);
            EXPECT_LE(maxDifference(page, white * (1.0 - strength) + tint * strength), 2.0);
            for (const Rgb text : {Rgb{0, 0, 0}, Rgb{0x59, 0x59, 0x59}}) {
                const Rgb shown = shownFor(text, frame);
                EXPECT_GE(contrastRatio(shown, page), 0.9 * contrastRatio(text, page));
                EXPECT_GE(contrastRatio(shown, page), 4.5);
            }
        }
    }
}

/// How often the area of the screen that flashes most flashes over a run of frames: the number
/// of changes of at least 0.1 in its mean relative luminance, each opposite to the one before.
/// Areas lie on a grid and on the grid shifted by half an area, so none falls between two.
int mostFlashesOfAnyArea(const std::vector<QImage>& frames, QSize area) {
    std::array<double, 256> luminanceOfLevel{};
    for (int level = 0; level < 256; ++level) {
        luminanceOfLevel[level] = linearLevel(level);  // the stripes are grey: r = g = b
    }
    const auto meanIn = [&](const QImage& frame, int left, int top) {
        double sum = 0;
        for (int y = top; y < top + area.height(); ++y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
            for (int x = left; x < left + area.width(); ++x) {
                sum += luminanceOfLevel[qGreen(row[x])];
            }
        }
        return sum / (area.width() * area.height());
    };
    const QSize size = frames.front().size();
    int most = 0;
    for (int shift = 0; shift < 2; ++shift) {
        for (int top = shift * area.height() / 2; top + area.height() <= size.height();
             top += area.height()) {
            for (int left = shift * area.width() / 2; left + area.width() <= size.width();
                 left += area.width()) {
                int flashes = 0;
                int direction = 0;
                double extreme = meanIn(frames.front(), left, top);
                for (const QImage& frame : frames) {
                    const double mean = meanIn(frame, left, top);
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
        }
    }
    return most;
}

TEST_F(ShaderPixelTest, GlitchesFlashNoMoreThanThreeTimesASecond) {
    // A quarter of 1080p each way: a quarter of a 341x256 window at 1080p is 21x16 here.
    const QSize size(480, 270);
    const QSize area(21, 16);
    const QImage stripes = paintedPicture(
        size, [](int x, int) { return qRgb(0, 0, 0) | ((x / 12) % 2 ? 0xffffffu : 0u); });
    const std::pair<const char*, void (*)(FrameParameters&)> glitches[] = {
        {"focus band Glitch Only",
         [](FrameParameters& f) {
             f.focusBand.active = 1;
             f.focusEffect = {1, 1.0f, 1.0f, 1.0f, 0.3f, 1, 0, 0};
         }},
        {"smart focus Dim + Glitch",
         [](FrameParameters& f) {
             f.smartFocus = {0.45f, 0.45f, 0.55f, 0.55f, 1.0f, 0.02f, 1, 5};
         }},
        {"breath Glitch Pulse",
         [](FrameParameters& f) { f.breathPacer = {1.0f, 3, 1.0f, 6.0f, 1, 0, 0, 0}; }},
    };
    for (const auto& [name, apply] : glitches) {
        // One second of frames at 60 a second, from a start between the pattern's steps.
        for (const float start : {kTime, kTime + 0.1f}) {
            SCOPED_TRACE(std::string(name) + " from " + std::to_string(start));
            std::vector<QImage> frames;
            for (int i = 0; i < 60; ++i) {
                FrameParameters frame = everythingOff();
                apply(frame);
                frame.time.time = frame.smartFocus.time = start + i / 60.0f;
                frames.push_back(render(stripes, frame));
            }
            ASSERT_NE(frames.front(), frames.back()) << "the glitch does not move";
            EXPECT_LE(mostFlashesOfAnyArea(frames, area), 3);
        }
    }
}

TEST_F(ShaderPixelTest, RulerKeepsOnePixelStrokesBlack) {
    // A black column just right of the ruler's anchor at the centre.
    const QImage page = paintedPicture(
        {320, 200}, [](int x, int) { return x == 163 ? qRgb(0, 0, 0) : qRgb(255, 255, 255); });
    for (const float zoom : {1.5f, 2.0f, 2.5f}) {
        for (const float anchorX : {0.5f, 0.5031f}) {  // on a pixel boundary, and off it
            SCOPED_TRACE("zoom " + std::to_string(zoom) + " anchor " + std::to_string(anchorX));
            const QImage out =
                render(page, with(&FrameParameters::readingRuler, {anchorX, 0.5f, 0.3f, zoom, 1}));
            int darkest = 255;  // along a row inside the ruler band
            for (int x = 0; x < out.width(); ++x) {
                darkest = std::min(darkest, qRed(out.pixel(x, 100)));
            }
            EXPECT_LE(darkest, 25);
        }
    }
}

TEST_F(ShaderPixelTest, DesaturationKeepsEachColoursLuminance) {
    // The band lies low; the colour is read above it.
    const FrameParameters frame =
        with(&FrameParameters::focusBand, {0.9f, 0.1f, 1.0f, 0.03f},
             with(&FrameParameters::focusEffect, {4, 1.0f, 1.0f, 1.0f, 0.3f, 1, 0, 0}));
    for (const Rgb colour : {Rgb{255, 0, 0}, Rgb{0, 0, 255}, Rgb{0, 160, 0}}) {
        SCOPED_TRACE(testing::Message() << colour.r << "," << colour.g << "," << colour.b);
        const Rgb grey = rgbAt(render(solidPicture({64, 64}, colour), frame), 32, 10);
        EXPECT_LE(std::max({grey.r, grey.g, grey.b}) - std::min({grey.r, grey.g, grey.b}), 1.0);
        EXPECT_NEAR(relativeLuminance(grey), relativeLuminance(colour), 0.01);
    }
}

}  // namespace
}  // namespace glimmora
