// Pixel tests of the fragment shader: each effect drawn offscreen on a known picture and read
// back, with the expected pixels worked out here from what the effect is meant to do.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "platform/egl/EglOffscreenContext.h"
#include "platform/gl/GlApi.h"
#include "render/GlPipeline.h"
#include "render/OffscreenTarget.h"
#include "render/OverlayRenderer.h"
#include "render/ParameterBlocks.h"
#include "render/PictureTextures.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/PixelTestSupport.h"

namespace glimmora {
namespace {

using namespace pixeltest;

constexpr float kTime = 100.0f;
// One level of 8-bit rounding where the GPU rounds a computed colour.
constexpr double kRounding = 1.0;

// ---------------------------------------------------------------------------------------------
// Colour science, written out here independently of the shader.

using Vec3 = std::array<double, 3>;
using Matrix = std::array<Vec3, 3>;

double decodeSrgb(double level) {
    const double c = level / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double encodeSrgb(double linear) {
    const double c = std::clamp(linear, 0.0, 1.0);
    return 255.0 * (c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055);
}

Vec3 decodeSrgb(Rgb c) {
    return {decodeSrgb(c.r), decodeSrgb(c.g), decodeSrgb(c.b)};
}

Rgb encodeSrgb(const Vec3& v) {
    return {encodeSrgb(v[0]), encodeSrgb(v[1]), encodeSrgb(v[2])};
}

Vec3 times(const Matrix& m, const Vec3& v) {
    Vec3 out{};
    for (int row = 0; row < 3; ++row) {
        out[row] = m[row][0] * v[0] + m[row][1] * v[1] + m[row][2] * v[2];
    }
    return out;
}

// Machado, Oliveira and Fernandes (IEEE TVCG 2009), dichromat simulation at severity 1.0 for
// linear RGB: protanopia, deuteranopia, tritanopia.
const Matrix kMachadoProtanopia = {{{0.152286, 1.052583, -0.204868},
                                    {0.114503, 0.786281, 0.099216},
                                    {-0.003882, -0.048116, 1.051998}}};
const Matrix kMachadoDeuteranopia = {{{0.367322, 0.860646, -0.227968},
                                      {0.280085, 0.672501, 0.047413},
                                      {-0.011820, 0.042940, 0.968881}}};
const Matrix kMachadoTritanopia = {{{1.255528, -0.076749, -0.178779},
                                    {-0.078411, 0.930809, 0.147602},
                                    {0.004733, 0.691367, 0.303900}}};

/// How a dichromat sees an 8-bit colour, in 8-bit levels.
Rgb simulated(const Matrix& m, Rgb c) {
    return encodeSrgb(times(m, decodeSrgb(c)));
}

/// The unit direction in linear RGB that the simulation shrinks most: colours apart along it
/// look alike to the dichromat. Found by brute search over the sphere, one degree a step.
Vec3 leastVisibleDirection(const Matrix& m) {
    constexpr double kDegree = 3.141592653589793 / 180.0;
    Vec3 best{1, 0, 0};
    double bestLength = 1e9;
    for (int theta = 0; theta < 180; ++theta) {
        for (int phi = 0; phi < 360; ++phi) {
            const Vec3 n = {std::sin(theta * kDegree) * std::cos(phi * kDegree),
                            std::sin(theta * kDegree) * std::sin(phi * kDegree),
                            std::cos(theta * kDegree)};
            const Vec3 seen = times(m, n);
            const double length = std::hypot(seen[0], seen[1], seen[2]);
            if (length < bestLength) {
                bestLength = length;
                best = n;
            }
        }
    }
    return best;
}

// ---------------------------------------------------------------------------------------------

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

/// Checks that an effect blends in smoothly across its edge: `progress(x, y)` is how far a pixel
/// lies across the edge (0 where the effect starts, 1 where it is complete). Pixels in the first
/// quarter must have moved less than a third of the way from the picture to the full effect,
/// pixels in the last quarter more than two thirds.
template <typename Progress, typename Full>
void expectGradualEdge(const QImage& out, const QImage& picture, Progress progress, Full full) {
    const auto firstQuarter = [&](int x, int y) {
        const double r = progress(x, y);
        return r > 0.0 && r < 0.25;
    };
    const auto lastQuarter = [&](int x, int y) {
        const double r = progress(x, y);
        return r > 0.75 && r < 1.0;
    };
    EXPECT_LT(shareOfTheWay(out, firstQuarter, unchangedFrom(picture), full), 1.0 / 3);
    EXPECT_GT(shareOfTheWay(out, lastQuarter, unchangedFrom(picture), full), 2.0 / 3);
}

class ShaderPixelTest : public ::testing::Test {
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

    /// Draws `picture` through the shader with `frame` in the renderer's drawing state (cleared
    /// transparent target, source-alpha blending) and reads the result back.
    static QImage render(const QImage& picture, const FrameParameters& frame) {
        textures_->setDisplay(picture);
        OffscreenTarget target(picture.size());
        const RenderTarget where = target.target();
        glBindFramebuffer(GL_FRAMEBUFFER, where.framebuffer);
        glViewport(0, 0, where.width, where.height);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendEquation(GL_FUNC_ADD);
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ZERO);
        pipeline_->draw(textures_->display(), frame);
        return target.read();
    }

    static inline EglOffscreenContext* context_ = nullptr;
    static inline std::string contextError_;
    static inline GlPipeline* pipeline_ = nullptr;
    static inline PictureTextures* textures_ = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Nothing on.

TEST_F(ShaderPixelTest, EverythingOffReproducesThePictureExactly) {
    for (const QSize size : {QSize(320, 180), QSize(317, 211), QSize(64, 64)}) {
        SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        const QImage picture = variedPicture(size);
        const QImage out = render(picture, everythingOff());
        EXPECT_TRUE(pixelsMatch(out, everywhere(), unchangedFrom(picture), 0));
        EXPECT_EQ(qAlpha(out.pixel(0, 0)), 255);
        EXPECT_EQ(qAlpha(out.pixel(size.width() - 1, size.height() - 1)), 255);
    }
}

TEST_F(ShaderPixelTest, EveryGroupSwitchedOffLeavesThePictureAlone) {
    // Each group's other fields at telling values, only its switch off.
    const std::vector<std::pair<std::string, std::function<void(FrameParameters&)>>> groups = {
        {"focus band inactive",
         [](FrameParameters& f) {
             f.focusBand = {0.4f, 0.2f, 0.0f, 0.03f};
             f.focusEffect = {2.0f, 0.9f, 0.9f, 0.9f, 0.3f, 0.0f, 0, 0};
         }},
        {"reading ruler off",
         [](FrameParameters& f) {
             f.readingRuler = {0.3f, 0.4f, 0.2f, 2.0f, 0};
         }},
        {"smart focus off",
         [](FrameParameters& f) {
             f.smartFocus = {0.2f, 0.2f, 0.6f, 0.6f, 1.0f, 0.05f, 0.0f, 5.0f, kTime, 0, 0, 0};
         }},
        {"dimmer off",
         [](FrameParameters& f) {
             f.screenDimmer = {-0.7f, 0.0f, 0, 0};
         }},
        {"colour filter off",
         [](FrameParameters& f) {
             f.colorBlind = {4.0f, 1.0f, 0.0f, 0};
         }},
        {"colour filter without a type",
         [](FrameParameters& f) {
             f.colorBlind = {0.0f, 1.0f, 1.0f, 0};
         }},
        {"spotlight off",
         [](FrameParameters& f) {
             f.cursorSpotlight = {0.5f, 0.5f, 0.1f, 0.03f, 0.9f, 0.0f, 4.0f, kTime};
         }},
        {"dyslexia aids off",
         [](FrameParameters& f) { f.dyslexia = {2.0f, 0.5f, 0, 1.0f, 0.5f, 0.0f, 0, 0}; }},
        {"dyslexia aids on without tint or line",
         [](FrameParameters& f) { f.dyslexia = {0.0f, 0.5f, 0, 0.0f, 0.5f, 1.0f, 0, 0}; }},
        {"breath pacer off",
         [](FrameParameters& f) { f.breathPacer = {1.0f, 3.0f, 1.0f, 6.0f, 0.0f, 0, 0, 0}; }},
        {"explosion inactive",
         [](FrameParameters& f) {
             f.explosion = {0.5f, 0.5f, 0.1f, 0.0f};
         }},
    };
    const QImage picture = variedPicture(QSize(161, 97));
    for (const auto& [name, switchOff] : groups) {
        SCOPED_TRACE(name);
        FrameParameters frame = everythingOff();
        switchOff(frame);
        EXPECT_TRUE(pixelsMatch(render(picture, frame), everywhere(), unchangedFrom(picture), 0));
    }
}

// ---------------------------------------------------------------------------------------------
// Opacity and dimmer.

TEST_F(ShaderPixelTest, OpacityMixesTheProcessedPictureWithTheOriginal) {
    const QImage picture = variedPicture(QSize(160, 120));
    FrameParameters frame = everythingOff();
    frame.screenDimmer = {-0.5f, 1.0f, 0, 0};
    frame.retro.opacity = 0.5f;
    // processed = c / 2, shown = c / 2 × 0.5 + c × 0.5
    EXPECT_TRUE(
        pixelsMatch(render(picture, frame), everywhere(), scaledFrom(picture, 0.75), kRounding));

    frame.screenDimmer = {1.0f, 1.0f, 0, 0};  // processed is white
    frame.retro.opacity = 0.3f;
    const auto overWhite = [&picture](int x, int y) {
        return Rgb{255, 255, 255} * 0.3 + rgbAt(picture, x, y) * 0.7;
    };
    EXPECT_TRUE(pixelsMatch(render(picture, frame), everywhere(), overWhite, kRounding));

    frame.screenDimmer = {-1.0f, 1.0f, 0, 0};  // processed is black, but nothing of it shows
    frame.retro.opacity = 0.0f;
    EXPECT_TRUE(pixelsMatch(render(picture, frame), everywhere(), unchangedFrom(picture), 0));
}

TEST_F(ShaderPixelTest, DimmerScalesDownByNegativeBrightness) {
    const QImage picture = variedPicture(QSize(160, 120));
    FrameParameters frame = everythingOff();
    frame.screenDimmer = {-0.5f, 1.0f, 0, 0};
    EXPECT_TRUE(
        pixelsMatch(render(picture, frame), everywhere(), scaledFrom(picture, 0.5), kRounding));
    frame.screenDimmer.brightness = -0.8f;
    EXPECT_TRUE(
        pixelsMatch(render(picture, frame), everywhere(), scaledFrom(picture, 0.2), kRounding));
}

TEST_F(ShaderPixelTest, DimmerMovesTowardWhiteByPositiveBrightness) {
    const QImage picture = variedPicture(QSize(160, 120));
    FrameParameters frame = everythingOff();
    frame.screenDimmer = {0.5f, 1.0f, 0, 0};
    const auto halfwayToWhite = [&picture](int x, int y) {
        const Rgb c = rgbAt(picture, x, y);
        return c + (Rgb{255, 255, 255} - c) * 0.5;
    };
    EXPECT_TRUE(pixelsMatch(render(picture, frame), everywhere(), halfwayToWhite, kRounding));
}

// ---------------------------------------------------------------------------------------------
// Focus band.

class FocusBandShaderPixelTest : public ShaderPixelTest {
protected:
    static constexpr QSize kSize{160, 120};
    static constexpr float kCenterY = 0.4f;
    static constexpr float kHeight = 0.3f;
    static constexpr float kEdge = 0.03f;

    static FrameParameters bandFrame(int effect, float amount) {
        FrameParameters frame = everythingOff();
        frame.focusBand = {kCenterY, kHeight, 1.0f, kEdge};
        frame.focusEffect = {float(effect), amount, amount, amount, 0.3f, 1.0f, 0, 0};
        return frame;
    }
    // Rows are classed with half a pixel of margin around each boundary.
    static double rowDistance(int y) { return std::abs(centre(y, kSize.height()) - kCenterY); }
    static bool insideBand(int, int y) {
        return rowDistance(y) < kHeight / 2 - 0.5 / kSize.height();
    }
    static bool beyondEdge(int, int y) {
        return rowDistance(y) > kHeight / 2 + kEdge + 0.5 / kSize.height();
    }
};

TEST_F(FocusBandShaderPixelTest, DimOnlyDimsOutsideTheBandAndRampsAtItsEdge) {
    const QImage picture = variedPicture(kSize);
    // Also with focus mode itself off: a detected face activates the band on its own.
    for (const float focusSwitch : {1.0f, 0.0f}) {
        SCOPED_TRACE(focusSwitch == 1.0f ? "focus mode" : "gaze only");
        FrameParameters frame = bandFrame(0, 0.7f);
        frame.focusEffect.enabled = focusSwitch;
        const QImage out = render(picture, frame);
        EXPECT_TRUE(pixelsMatch(out, insideBand, unchangedFrom(picture), 0));
        EXPECT_TRUE(pixelsMatch(out, beyondEdge, scaledFrom(picture, 0.3), kRounding));
        EXPECT_TRUE(pixelsBetween(
            out, [](int x, int y) { return !insideBand(x, y) && !beyondEdge(x, y); },
            unchangedFrom(picture), scaledFrom(picture, 0.3), kRounding));
        expectGradualEdge(
            out, picture, [](int, int y) { return (rowDistance(y) - kHeight / 2) / kEdge; },
            scaledFrom(picture, 0.3));
    }
}

TEST_F(FocusBandShaderPixelTest, EveryOtherEffectChangesOnlyTheOutside) {
    const QImage picture = variedPicture(kSize);
    for (const int effect : {1, 2, 3, 4}) {
        SCOPED_TRACE("effect " + std::to_string(effect));
        const QImage out = render(picture, bandFrame(effect, 0.8f));
        EXPECT_TRUE(pixelsMatch(out, insideBand, unchangedFrom(picture), 0));
        EXPECT_GT(changedShare(out, picture, beyondEdge), 0.5);
    }
}

TEST_F(FocusBandShaderPixelTest, EachEffectScalesWithItsOwnAmount) {
    const QImage picture = variedPicture(kSize);
    for (const int effect : {0, 1, 2, 3, 4}) {
        SCOPED_TRACE("effect " + std::to_string(effect));
        FrameParameters frame = bandFrame(effect, 0.0f);
        EXPECT_TRUE(pixelsMatch(render(picture, frame), everywhere(), unchangedFrom(picture), 0));
    }
    // Each effect reads only its own amount: glitch the glitch amount, dimming and vignette the
    // dim amount, desaturation the desaturation amount.
    FrameParameters glitchOnly = bandFrame(1, 0.0f);
    glitchOnly.focusEffect.dimAmount = 0.9f;
    glitchOnly.focusEffect.desatAmount = 0.9f;
    EXPECT_TRUE(pixelsMatch(render(picture, glitchOnly), everywhere(), unchangedFrom(picture), 0));
    FrameParameters vignetteOnly = bandFrame(3, 0.0f);
    vignetteOnly.focusEffect.glitchAmount = 0.9f;
    vignetteOnly.focusEffect.desatAmount = 0.9f;
    EXPECT_TRUE(
        pixelsMatch(render(picture, vignetteOnly), everywhere(), unchangedFrom(picture), 0));
}

TEST_F(FocusBandShaderPixelTest, DesaturateTurnsTheOutsideGrey) {
    const QImage out = render(variedPicture(kSize), bandFrame(4, 1.0f));
    const auto grey = [&out](int x, int y) {
        const Rgb c = rgbAt(out, x, y);
        return Rgb{c.g, c.g, c.g};
    };
    EXPECT_TRUE(pixelsMatch(out, beyondEdge, grey, kRounding));
}

TEST_F(FocusBandShaderPixelTest, VignetteDarkensMoreFartherFromTheBand) {
    const QImage picture = variedPicture(kSize);
    const QImage out = render(picture, bandFrame(3, 0.8f));
    // Never brighter than the picture.
    EXPECT_TRUE(pixelsBetween(
        out, everywhere(), [](int, int) { return Rgb{}; }, unchangedFrom(picture), kRounding));
    // Light kept, as a share of the input, close to the band and far from it.
    const auto keptLight = [&](double fromDistance, double toDistance) {
        double in = 0;
        double shown = 0;
        for (int y = 0; y < kSize.height(); ++y) {
            const double beyond = rowDistance(y) - kHeight / 2;
            if (beyond >= fromDistance && beyond < toDistance) {
                for (int x = 0; x < kSize.width(); ++x) {
                    in += sumDifference(rgbAt(picture, x, y), Rgb{});
                    shown += sumDifference(rgbAt(out, x, y), Rgb{});
                }
            }
        }
        return shown / in;
    };
    EXPECT_LT(keptLight(0.35, 1.0), keptLight(0.01, 0.06) - 0.2);
}

TEST_F(FocusBandShaderPixelTest, GlitchShiftsSlicesSidewaysAndMovesWithTime) {
    // On the ramp picture red is the column, so a row's mean red change is how far it slid.
    const QImage picture = rampPicture(kSize);
    const auto slide = [&](const QImage& out, int y) {
        double sum = 0;
        for (int x = 20; x < kSize.width() - 20; ++x) {  // away from the clamped borders
            sum += rgbAt(out, x, y).r - rgbAt(picture, x, y).r;
        }
        return sum / (kSize.width() - 40);
    };
    FrameParameters frame = bandFrame(1, 0.8f);
    const QImage first = render(picture, frame);
    frame.time.time = kTime + 0.5f;
    const QImage later = render(picture, frame);
    EXPECT_TRUE(pixelsMatch(first, insideBand, unchangedFrom(picture), 0));
    EXPECT_TRUE(pixelsMatch(later, insideBand, unchangedFrom(picture), 0));

    int slidRows = 0;
    int movedRows = 0;
    for (int y = 0; y < kSize.height(); ++y) {
        if (beyondEdge(0, y)) {
            slidRows += std::abs(slide(first, y)) > 2.0 ? 1 : 0;
            movedRows += std::abs(slide(first, y) - slide(later, y)) > 2.0 ? 1 : 0;
        }
    }
    EXPECT_GT(slidRows, 10);
    EXPECT_GT(movedRows, 10);
}

// ---------------------------------------------------------------------------------------------
// Reading ruler.

TEST_F(ShaderPixelTest, RulerMagnifiesItsBandAboutTheRuler) {
    const QSize size(240, 160);
    const QImage picture = rampPicture(size);
    const double rulerX = 0.4;
    const double rulerY = 0.5;
    const double height = 0.25;  // 40 rows
    const double zoom = 2.0;
    FrameParameters frame = everythingOff();
    frame.readingRuler = {float(rulerX), float(rulerY), float(height), float(zoom), 1.0f};
    const QImage out = render(picture, frame);

    // Distance of a row's centre from the band's edge, in pixels (negative inside).
    const auto edgeDistance = [&](int y) {
        return (std::abs(centre(y, size.height()) - rulerY) - height / 2) * size.height();
    };
    // The input at (ruler + (p - ruler) / zoom), read off the ramps: red = column, green = row.
    const auto magnified = [&](int x, int y) {
        const double u = rulerX + (centre(x, size.width()) - rulerX) / zoom;
        const double v = rulerY + (centre(y, size.height()) - rulerY) / zoom;
        const double column = std::clamp(u * size.width() - 0.5, 0.0, size.width() - 1.0);
        const double row = std::clamp(v * size.height() - 0.5, 0.0, size.height() - 1.0);
        return Rgb{column, row, 255 - column};
    };
    EXPECT_TRUE(pixelsMatch(
        out, [&](int, int y) { return edgeDistance(y) < -1.0; }, magnified, kRounding));
    EXPECT_TRUE(pixelsMatch(
        out, [&](int, int y) { return edgeDistance(y) > 1.0; }, unchangedFrom(picture), 0));

    // A frame line at each edge, clearly unlike both the picture and the magnified content.
    int frameRows = 0;
    for (int y = 0; y < size.height(); ++y) {
        if (std::abs(edgeDistance(y)) > 0.75) {
            continue;
        }
        ++frameRows;
        for (int x = 0; x < size.width(); x += 7) {
            const Rgb shown = rgbAt(out, x, y);
            EXPECT_GT(maxDifference(shown, rgbAt(picture, x, y)), 40) << x << ", " << y;
            EXPECT_GT(maxDifference(shown, magnified(x, y)), 40) << x << ", " << y;
        }
    }
    EXPECT_EQ(frameRows, 4);  // rows 59, 60 (top edge) and 99, 100 (bottom edge)
}

// ---------------------------------------------------------------------------------------------
// Cursor spotlight.

class SpotlightShaderPixelTest : public ShaderPixelTest {
protected:
    static constexpr float kCenterX = 0.4f;
    static constexpr float kCenterY = 0.55f;
    static constexpr float kRadius = 0.25f;
    static constexpr float kBorder = 0.03f;

    static FrameParameters spotlightFrame(int mode, float amount) {
        FrameParameters frame = everythingOff();
        frame.cursorSpotlight = {kCenterX, kCenterY, kRadius,     kBorder,
                                 amount,   1.0f,     float(mode), kTime};
        return frame;
    }
    // Distance from the spotlight's centre in screen heights: round on screen.
    static auto distanceIn(QSize size) {
        return [size](int x, int y) {
            const double aspect = double(size.width()) / size.height();
            return std::hypot((centre(x, size.width()) - kCenterX) * aspect,
                              centre(y, size.height()) - kCenterY);
        };
    }
};

TEST_F(SpotlightShaderPixelTest, KeepsARoundSpotAndDimsOutside) {
    // A wide picture as well as a square one: a spotlight measured in texture coordinates would
    // be an ellipse twice as wide as high on the wide one.
    for (const QSize size : {QSize(320, 160), QSize(160, 160)}) {
        SCOPED_TRACE(std::to_string(size.width()) + "x" + std::to_string(size.height()));
        const QImage picture = variedPicture(size);
        const QImage out = render(picture, spotlightFrame(0, 0.6f));
        const auto distance = distanceIn(size);
        const double pixel = 1.0 / size.height();
        const auto inside = [&](int x, int y) { return distance(x, y) < kRadius - pixel; };
        const auto outside = [&](int x, int y) {
            return distance(x, y) > kRadius + kBorder + pixel;
        };
        EXPECT_TRUE(pixelsMatch(out, inside, unchangedFrom(picture), 0));
        EXPECT_TRUE(pixelsMatch(out, outside, scaledFrom(picture, 0.4), kRounding));
        EXPECT_TRUE(pixelsBetween(
            out, [&](int x, int y) { return !inside(x, y) && !outside(x, y); },
            unchangedFrom(picture), scaledFrom(picture, 0.4), kRounding));
        expectGradualEdge(
            out, picture, [&](int x, int y) { return (distance(x, y) - kRadius) / kBorder; },
            scaledFrom(picture, 0.4));
    }
}

TEST_F(SpotlightShaderPixelTest, EffectModesChangeOnlyTheOutsideByTheAmount) {
    const QSize size(320, 180);
    const QImage picture = variedPicture(size);
    const auto distance = distanceIn(size);
    const double pixel = 1.0 / size.height();
    const auto inside = [&](int x, int y) { return distance(x, y) < kRadius - pixel; };
    const auto outside = [&](int x, int y) { return distance(x, y) > kRadius + kBorder + pixel; };
    for (const int mode : {1, 2, 3, 4}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const QImage out = render(picture, spotlightFrame(mode, 0.8f));
        EXPECT_TRUE(pixelsMatch(out, inside, unchangedFrom(picture), 0));
        EXPECT_GT(changedShare(out, picture, outside), 0.4);  // scan lines: every other row
        const QImage gentle = render(picture, spotlightFrame(mode, 0.2f));
        EXPECT_LT(totalDifference(gentle, picture, outside),
                  0.6 * totalDifference(out, picture, outside));
        EXPECT_TRUE(pixelsMatch(render(picture, spotlightFrame(mode, 0.0f)), everywhere(),
                                unchangedFrom(picture), 0));
    }
}

// ---------------------------------------------------------------------------------------------
// Colour-vision filters.

TEST_F(ShaderPixelTest, AchromatopsiaShowsRelativeLuminance) {
    const QImage picture = variedPicture(QSize(97, 61));
    FrameParameters frame = everythingOff();
    frame.colorBlind = {4.0f, 1.0f, 1.0f, 0};
    const auto luminance = [&picture](int x, int y) {
        const Vec3 linear = decodeSrgb(rgbAt(picture, x, y));
        const double level =
            encodeSrgb(0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2]);
        return Rgb{level, level, level};
    };
    EXPECT_TRUE(pixelsMatch(render(picture, frame), everywhere(), luminance, 2.0));

    // Intensity blends in linear light.
    frame.colorBlind.intensity = 0.5f;
    const auto halfway = [&](int x, int y) {
        const Vec3 linear = decodeSrgb(rgbAt(picture, x, y));
        const Vec3 grey = decodeSrgb(luminance(x, y));
        return encodeSrgb({0.5 * (linear[0] + grey[0]), 0.5 * (linear[1] + grey[1]),
                           0.5 * (linear[2] + grey[2])});
    };
    EXPECT_TRUE(pixelsMatch(render(picture, frame), everywhere(), halfway, 2.0));
}

TEST_F(ShaderPixelTest, DaltonisationSeparatesColoursADichromatConfuses) {
    const std::array<std::pair<int, const Matrix*>, 3> types = {{
        {1, &kMachadoProtanopia},
        {2, &kMachadoDeuteranopia},
        {3, &kMachadoTritanopia},
    }};
    const QSize size(8, 8);
    for (const auto& [type, matrix] : types) {
        SCOPED_TRACE("filter type " + std::to_string(type));
        // Two colours either side of a mid grey along the direction the dichromat barely sees.
        const Vec3 n = leastVisibleDirection(*matrix);
        const Rgb a =
            roundedToLevels(encodeSrgb({0.3 + 0.15 * n[0], 0.3 + 0.15 * n[1], 0.3 + 0.15 * n[2]}));
        const Rgb b =
            roundedToLevels(encodeSrgb({0.3 - 0.15 * n[0], 0.3 - 0.15 * n[1], 0.3 - 0.15 * n[2]}));
        const double seenApart = maxDifference(simulated(*matrix, a), simulated(*matrix, b));
        ASSERT_GT(maxDifference(a, b), 40) << "the pair should differ plainly to normal vision";
        ASSERT_LT(seenApart, 10) << "the pair should look nearly alike to the dichromat";

        FrameParameters frame = everythingOff();
        frame.colorBlind = {float(type), 1.0f, 1.0f, 0};
        const Rgb shownA = rgbAt(render(solidPicture(size, a), frame), 4, 4);
        const Rgb shownB = rgbAt(render(solidPicture(size, b), frame), 4, 4);
        EXPECT_GT(maxDifference(simulated(*matrix, shownA), simulated(*matrix, shownB)),
                  seenApart + 20);

        frame.colorBlind.intensity = 0.0f;
        EXPECT_LE(maxDifference(rgbAt(render(solidPicture(size, a), frame), 4, 4), a), kRounding);
        EXPECT_LE(maxDifference(rgbAt(render(solidPicture(size, b), frame), 4, 4), b), kRounding);
    }
}

// ---------------------------------------------------------------------------------------------
// Dyslexia aids.

TEST_F(ShaderPixelTest, TintMovesTowardARecognisableColourByStrength) {
    const QSize size(8, 8);
    FrameParameters frame = everythingOff();
    std::array<Rgb, 5> tints{};
    for (int index = 1; index <= 4; ++index) {
        SCOPED_TRACE("tint " + std::to_string(index));
        frame.dyslexia = {float(index), 0.5f, 0, 0.0f, 0.5f, 1.0f, 0, 0};
        // Halfway from black: the tint colour is twice what shows.
        const Rgb tint = rgbAt(render(solidPicture(size, Rgb{}), frame), 4, 4) * 2.0;
        tints[index] = tint;
        // The same colour is approached from anywhere, in proportion to the strength.
        frame.dyslexia.tintStrength = 0.2f;
        for (const Rgb from : {Rgb{255, 255, 255}, Rgb{40, 160, 220}, Rgb{128, 128, 128}}) {
            const Rgb shown = rgbAt(render(solidPicture(size, from), frame), 4, 4);
            EXPECT_LE(maxDifference(shown, from + (tint - from) * 0.2), 2.0);
        }
        // Soft: a light colour, never a strong one.
        EXPECT_GT(std::min({tint.r, tint.g, tint.b}), 150);
    }
    const Rgb cream = tints[1];
    const Rgb blue = tints[2];
    const Rgb green = tints[3];
    const Rgb pink = tints[4];
    EXPECT_TRUE(cream.r >= cream.g && cream.g > cream.b) << "cream is a warm off-white";
    EXPECT_TRUE(blue.b > blue.g && blue.g > blue.r);
    EXPECT_TRUE(green.g > green.r && green.g > green.b);
    EXPECT_TRUE(pink.r > pink.b && pink.b > pink.g);
}

TEST_F(ShaderPixelTest, LineGuideDrawsAColouredLineAtLineY) {
    const QSize size(160, 120);
    const QImage picture = solidPicture(size, Rgb{128, 128, 128});
    for (const float lineY : {0.5f, 0.25f}) {
        SCOPED_TRACE("line at " + std::to_string(lineY));
        FrameParameters frame = everythingOff();
        frame.dyslexia = {0.0f, 0.0f, 0, 1.0f, lineY, 1.0f, 0, 0};
        const QImage out = render(picture, frame);
        const auto rowsAway = [&](int y) { return std::abs(y + 0.5 - lineY * size.height()); };
        for (int y = 0; y < size.height(); ++y) {
            if (rowsAway(y) < 1.0) {
                EXPECT_GT(maxDifference(rgbAt(out, 0, y), Rgb{128, 128, 128}), 60) << "row " << y;
                EXPECT_EQ(out.pixel(0, y), out.pixel(size.width() - 1, y)) << "row " << y;
            }
        }
        EXPECT_TRUE(pixelsMatch(
            out, [&](int, int y) { return rowsAway(y) > 2.5; }, unchangedFrom(picture), 0));
    }
}

// ---------------------------------------------------------------------------------------------
// Smart focus.

class SmartFocusShaderPixelTest : public ShaderPixelTest {
protected:
    static constexpr QSize kSize{160, 120};
    static constexpr double kMinX = 0.25, kMinY = 0.3, kMaxX = 0.7, kMaxY = 0.75;
    static constexpr double kFade = 0.05;
    // "Dim Only" keeps a fifth of the light at full strength, so the desktop stays findable.
    static constexpr double kDimAtFullStrength = 0.8;

    static FrameParameters smartFrame(int mode, float strength) {
        FrameParameters frame = everythingOff();
        frame.smartFocus = {float(kMinX),
                            float(kMinY),
                            float(kMaxX),
                            float(kMaxY),
                            strength,
                            float(kFade),
                            1.0f,
                            float(mode),
                            kTime,
                            0,
                            0,
                            0};
        return frame;
    }
    static double outsideDistance(int x, int y) {
        const double u = centre(x, kSize.width());
        const double v = centre(y, kSize.height());
        const double dx = std::max({kMinX - u, 0.0, u - kMaxX});
        const double dy = std::max({kMinY - v, 0.0, v - kMaxY});
        return std::hypot(dx, dy);
    }
    static bool inside(int x, int y) { return outsideDistance(x, y) == 0.0; }
    static bool beyondFade(int x, int y) {
        return outsideDistance(x, y) > kFade + 1.0 / kSize.height();
    }
};

TEST_F(SmartFocusShaderPixelTest, DimOnlyKeepsTheWindowSharpAndDimsTheRest) {
    const QImage picture = variedPicture(kSize);
    const QImage out = render(picture, smartFrame(0, 0.5f));
    const double kept = 1.0 - kDimAtFullStrength * 0.5;
    EXPECT_TRUE(pixelsMatch(out, inside, unchangedFrom(picture), 0));
    EXPECT_TRUE(pixelsMatch(out, beyondFade, scaledFrom(picture, kept), kRounding));
    EXPECT_TRUE(pixelsBetween(
        out, [](int x, int y) { return !inside(x, y) && !beyondFade(x, y); },
        unchangedFrom(picture), scaledFrom(picture, kept), kRounding));
    expectGradualEdge(
        out, picture, [](int x, int y) { return outsideDistance(x, y) / kFade; },
        scaledFrom(picture, kept));
}

TEST_F(SmartFocusShaderPixelTest, EveryEffectModeChangesOnlyTheOutside) {
    const QImage picture = variedPicture(kSize);
    for (const int mode : {1, 2, 3, 4, 5}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const QImage out = render(picture, smartFrame(mode, 0.8f));
        EXPECT_TRUE(pixelsMatch(out, inside, unchangedFrom(picture), 0));
        EXPECT_GT(changedShare(out, picture, beyondFade), 0.4);  // scan lines: every other row
    }
    for (const int mode : {0, 1, 2, 3, 4, 5}) {
        SCOPED_TRACE("mode " + std::to_string(mode) + " at strength 0");
        EXPECT_TRUE(pixelsMatch(render(picture, smartFrame(mode, 0.0f)), everywhere(),
                                unchangedFrom(picture), 0));
    }
}

// ---------------------------------------------------------------------------------------------
// Retro effects.

TEST_F(ShaderPixelTest, ScanLinesDarkenEveryOtherRowByTheirIntensity) {
    const QImage picture = variedPicture(QSize(160, 120));
    FrameParameters frame = everythingOff();
    frame.retro.scanLines = 0.5f;
    const QImage out = render(picture, frame);
    EXPECT_TRUE(pixelsMatch(
        out, [](int, int y) { return y % 2 == 0; }, unchangedFrom(picture), 0));
    EXPECT_TRUE(pixelsMatch(
        out, [](int, int y) { return y % 2 == 1; }, scaledFrom(picture, 0.5), kRounding));
}

TEST_F(ShaderPixelTest, RgbShiftMovesRedAndBlueApartByTheAmount) {
    const QSize size(240, 160);
    const QImage picture = rampPicture(size);
    FrameParameters frame = everythingOff();
    frame.retro.rgbShift = 0.02f;  // 4.8 columns each way
    const double shift = 0.02 * size.width();
    const auto split = [&](int x, int y) {
        const double right = std::clamp(x + shift, 0.0, size.width() - 1.0);
        const double left = std::clamp(x - shift, 0.0, size.width() - 1.0);
        return Rgb{right, double(y), 255 - left};
    };
    EXPECT_TRUE(pixelsMatch(render(picture, frame), everywhere(), split, kRounding));
}

TEST_F(ShaderPixelTest, NoiseIsUnbiasedBoundedByItsAmountAndChangesEachFrame) {
    const QSize size(160, 120);
    const QImage picture = solidPicture(size, Rgb{128, 128, 128});
    FrameParameters frame = everythingOff();
    frame.retro.noise = 0.2f;
    const QImage first = render(picture, frame);
    frame.time.time = kTime + 0.5f;
    const QImage later = render(picture, frame);

    EXPECT_GT(changedShare(first, picture, everywhere()), 0.8);
    EXPECT_GT(changedShare(first, later, everywhere()), 0.8);
    EXPECT_TRUE(pixelsBetween(
        first, everywhere(),
        [](int, int) {
            return Rgb{128, 128, 128} - Rgb{51, 51, 51};
        },
        [](int, int) {
            return Rgb{128, 128, 128} + Rgb{51, 51, 51};
        },
        kRounding));
    double signedSum = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            signedSum += rgbAt(first, x, y).g - 128;
        }
    }
    EXPECT_LT(std::abs(signedSum / (size.width() * size.height())), 2.0);
}

TEST_F(ShaderPixelTest, FlickerDimsTheWholeFrameByUpToItsIntensity) {
    const QSize size(64, 48);
    const QImage picture = solidPicture(size, Rgb{200, 200, 200});
    FrameParameters frame = everythingOff();
    frame.retro.flicker = 0.5f;
    std::vector<QRgb> levels;
    for (const float t : {100.0f, 100.5f, 101.0f, 101.5f}) {
        frame.time.time = t;
        const QImage out = render(picture, frame);
        const QRgb first = out.pixel(0, 0);
        EXPECT_TRUE(pixelsMatch(
            out, everywhere(), [&](int, int) { return rgbAt(out, 0, 0); }, 0))
            << "flicker must dim the whole frame alike";
        EXPECT_GE(qGreen(first), 200 * 0.5 - kRounding);
        EXPECT_LE(qGreen(first), 200 * 0.75 + kRounding);
        levels.push_back(first);
    }
    EXPECT_TRUE(levels[0] != levels[1] || levels[1] != levels[2] || levels[2] != levels[3])
        << "flicker must change over time";
}

// ---------------------------------------------------------------------------------------------
// Breath pacer and explosion.

TEST_F(ShaderPixelTest, BreathPacerShowsEveryStyleAndFollowsThePhase) {
    const QSize size(160, 120);
    const QImage picture = variedPicture(size);
    FrameParameters frame = everythingOff();
    const auto at = [&](int style, float phase) {
        frame.breathPacer = {phase, float(style), 0.8f, 6.0f, 1.0f, 0, 0, 0};
        return render(picture, frame);
    };
    for (const int style : {1, 2, 3, 4}) {
        SCOPED_TRACE("style " + std::to_string(style));
        const QImage exhaled = at(style, 0.1f);
        const QImage middle = at(style, 0.5f);
        const QImage inhaled = at(style, 0.9f);
        EXPECT_GT(changedShare(middle, picture, everywhere()), 0.05);
        EXPECT_GT(changedShare(exhaled, inhaled, everywhere()), 0.05);
        if (style != 2) {  // glow, glitch and vignette swell with the in-breath
            EXPECT_GT(totalDifference(inhaled, picture, everywhere()),
                      1.5 * totalDifference(exhaled, picture, everywhere()));
        }
    }
    // The colour wave rises as the breath comes in: its weight moves up the screen.
    const auto changeCentreRow = [&](const QImage& out) {
        double weight = 0;
        double rows = 0;
        for (int y = 0; y < size.height(); ++y) {
            const double rowChange =
                totalDifference(out, picture, [y](int, int row) { return row == y; });
            weight += rowChange;
            rows += rowChange * y;
        }
        return rows / weight;
    };
    EXPECT_LT(changeCentreRow(at(2, 0.9f)), changeCentreRow(at(2, 0.1f)) - 0.3 * size.height());
}

TEST_F(ShaderPixelTest, ExplosionBurstsAtItsCentreAndFadesWithAge) {
    const QSize size(160, 120);
    const QImage picture = variedPicture(size);
    const double centerX = 0.3;
    const double centerY = 0.6;
    FrameParameters frame = everythingOff();
    const auto at = [&](float age) {
        frame.explosion = {float(centerX), float(centerY), age, 1.0f};
        return render(picture, frame);
    };
    const auto farAway = [&](int x, int y) {
        const double aspect = double(size.width()) / size.height();
        return std::hypot((centre(x, size.width()) - centerX) * aspect,
                          centre(y, size.height()) - centerY) > 0.45;
    };
    const auto near = [&](int x, int y) { return !farAway(x, y); };

    const QImage young = at(0.05f);
    const QImage older = at(0.3f);
    const QImage dying = at(0.55f);
    // Brighter at the centre, nothing far away.
    const int cx = int(centerX * size.width());
    const int cy = int(centerY * size.height());
    EXPECT_GT(sumDifference(rgbAt(young, cx, cy), Rgb{}),
              sumDifference(rgbAt(picture, cx, cy), Rgb{}) + 100);
    EXPECT_TRUE(pixelsMatch(young, farAway, unchangedFrom(picture), 0));
    EXPECT_TRUE(pixelsMatch(dying, farAway, unchangedFrom(picture), 0));
    // It evolves and fades.
    EXPECT_GT(changedShare(young, older, near), 0.05);
    EXPECT_GT(changedShare(dying, picture, near), 0.0);
    // The ring covers more and more screen as it grows, so fading shows in the strongest change.
    const auto strongestChange = [&](const QImage& out) {
        double strongest = 0;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                strongest =
                    std::max(strongest, sumDifference(rgbAt(out, x, y), rgbAt(picture, x, y)));
            }
        }
        return strongest;
    };
    EXPECT_LT(strongestChange(dying), 0.5 * strongestChange(young));
}

// ---------------------------------------------------------------------------------------------
// Through the renderer: the settings store's values reach the shader in the real draw.

TEST_F(ShaderPixelTest, RendererDrawsTheSettingsThroughTheShader) {
    MemoryUserDefaults defaults;
    AppState settings(defaults);
    OverlayRenderer renderer(settings, [] { return 50.0; });
    renderer.initialize();
    const QImage picture = variedPicture(QSize(160, 120));
    OffscreenTarget target(picture.size());

    testing::internal::CaptureStdout();  // the first draw prints its report line
    renderer.handOver().submit(picture);
    renderer.draw(target.target());
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(pixelsMatch(target.read(), everywhere(), unchangedFrom(picture), 0));

    settings.isScreenDimmerEnabled = true;
    settings.screenBrightness = -0.5f;
    renderer.draw(target.target());
    EXPECT_TRUE(pixelsMatch(target.read(), everywhere(), scaledFrom(picture, 0.5), kRounding));
}

}  // namespace
}  // namespace glimmora
