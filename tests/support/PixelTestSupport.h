#pragma once

// Pictures and pixel comparisons for the shader's pixel tests: predictable input pictures,
// colour arithmetic in 8-bit levels, and region checks that report the first wrong pixel.

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <sstream>

namespace glimmora::pixeltest {

/// A colour in 8-bit levels (0 to 255), kept in double so expectations can carry fractions.
struct Rgb {
    double r = 0, g = 0, b = 0;
    Rgb operator*(double k) const { return {r * k, g * k, b * k}; }
    Rgb operator+(Rgb o) const { return {r + o.r, g + o.g, b + o.b}; }
};

inline Rgb rgbAt(const QImage& image, int x, int y) {
    const QRgb pixel = image.pixel(x, y);
    return {double(qRed(pixel)), double(qGreen(pixel)), double(qBlue(pixel))};
}

inline double maxDifference(Rgb a, Rgb b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

/// The centre of pixel `index` in texture coordinates, as the shader sees it.
inline double centre(int index, int size) {
    return (index + 0.5) / size;
}

inline QImage solidPicture(QSize size, Rgb c) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(qRgb(int(std::lround(c.r)), int(std::lround(c.g)), int(std::lround(c.b))));
    return image;
}

/// A picture of `size` with `colour(x, y)` at each pixel.
template <typename Colour>
QImage paintedPicture(QSize size, Colour colour) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            image.setPixel(x, y, colour(x, y));
        }
    }
    return image;
}

/// Gradients in red and green with a noise-like blue and a fine texture laid over red, so that
/// any shift, swap, flip or rounding of the picture shows.
inline QImage variedPicture(QSize size) {
    std::uint32_t state = 0x12345678u;
    return paintedPicture(size, [&](int x, int y) {
        state = state * 1664525u + 1013904223u;  // a plain LCG: deterministic and cheap
        const int red = (x * 223 / std::max(size.width() - 1, 1)) + ((x * 7 + y * 3) % 32);
        return qRgb(red, 20 + y * 215 / std::max(size.height() - 1, 1), int(state >> 24));
    });
}

/// Red rises one level a column, green one level a row, blue falls one level a column: linear
/// filtering of this picture is linear interpolation of the coordinates, predictable to a level.
/// At most 256 × 256 pixels.
inline QImage rampPicture(QSize size) {
    return paintedPicture(size, [](int x, int y) { return qRgb(x, y, 255 - x); });
}

/// Calls `f(x, y)` for every pixel of `image` where `where(x, y)` holds; how many.
template <typename Where, typename F>
int forEachIn(const QImage& image, Where where, F f) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (where(x, y)) {
                ++count;
                f(x, y);
            }
        }
    }
    return count;
}

/// Checks that each pixel of `actual` where `where(x, y)` holds lies between `low(x, y)` and
/// `high(x, y)`, channel by channel, with `tolerance` levels of slack. Fails also when no pixel
/// was checked, so a wrong region cannot pass unnoticed.
template <typename Where, typename Low, typename High>
::testing::AssertionResult pixelsWithin(const QImage& actual, Where where, Low low, High high,
                                        double tolerance) {
    int misses = 0;
    std::ostringstream first;
    const int checked = forEachIn(actual, where, [&](int x, int y) {
        const Rgb lo = low(x, y), hi = high(x, y), got = rgbAt(actual, x, y);
        const auto off = [tolerance](double v, double a, double b) {
            return v < std::min(a, b) - tolerance || v > std::max(a, b) + tolerance;
        };
        if ((off(got.r, lo.r, hi.r) || off(got.g, lo.g, hi.g) || off(got.b, lo.b, hi.b)) &&
            misses++ == 0) {
            first << ", first at (" << x << ", " << y << "): " << got.r << "/" << got.g << "/"
                  << got.b << " for " << lo.r << "/" << lo.g << "/" << lo.b;
        }
    });
    if (checked == 0 || misses > 0) {
        return ::testing::AssertionFailure()
               << misses << " of " << checked << " pixels off" << first.str();
    }
    return ::testing::AssertionSuccess();
}

template <typename Where, typename Expected>
::testing::AssertionResult pixelsMatch(const QImage& actual, Where where, Expected expected,
                                       double tolerance) {
    return pixelsWithin(actual, where, expected, expected, tolerance);
}

/// The share (0 to 1) of pixels in the region where `a` and `b` differ by at least one level.
template <typename Where>
double changedShare(const QImage& a, const QImage& b, Where where) {
    int changed = 0;
    const int checked =
        forEachIn(a, where, [&](int x, int y) { changed += a.pixel(x, y) != b.pixel(x, y); });
    return checked == 0 ? 0.0 : double(changed) / checked;
}

/// Sum over the region of every channel's absolute difference: how much changed in all.
template <typename Where>
double totalDifference(const QImage& a, const QImage& b, Where where) {
    double total = 0;
    forEachIn(a, where, [&](int x, int y) {
        const Rgb p = rgbAt(a, x, y), q = rgbAt(b, x, y);
        total += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
    });
    return total;
}

inline auto everywhere() {
    return [](int, int) { return true; };
}

/// The picture scaled by `k`, or itself, as an expectation.
inline auto scaledFrom(const QImage& picture, double k) {
    return [&picture, k](int x, int y) { return rgbAt(picture, x, y) * k; };
}
inline auto unchangedFrom(const QImage& picture) {
    return scaledFrom(picture, 1);
}

}  // namespace glimmora::pixeltest
