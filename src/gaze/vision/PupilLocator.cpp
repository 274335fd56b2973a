#include "gaze/vision/PupilLocator.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace glimmora {
namespace {

// Eyes are resampled to this width, so the search costs the same for near and far faces and the
// smoothing below has one scale. 23 px eyes of a 640 × 480 webcam frame are enlarged about
// twofold; the search is quadratic in the area, about 0.4 M products per eye.
constexpr int kEyeWidth = 48;
// Share of the outline's width added on each side, so the iris rim at the corners is seen.
constexpr double kMargin = 0.15;
// Gradients weaker than mean + kThresholdFactor × standard deviation are noise, not rim.
constexpr double kThresholdFactor = 0.3;

}  // namespace

std::optional<Point> PupilLocator::locate(const cv::Mat& grey, std::span<const Point> outline) {
    if (outline.size() < 3 || grey.empty() || grey.type() != CV_8UC1) {
        return std::nullopt;
    }
    double minX = outline[0].x, maxX = minX, minY = outline[0].y, maxY = minY;
    for (Point p : outline) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    const double width = maxX - minX;
    if (!(width >= 4) || !(maxY - minY >= 1)) {
        return std::nullopt;
    }
    const double margin = width * kMargin;
    const cv::Rect region = cv::Rect(cv::Point(static_cast<int>(std::floor(minX - margin)),
                                               static_cast<int>(std::floor(minY - margin))),
                                     cv::Point(static_cast<int>(std::ceil(maxX + margin)) + 1,
                                               static_cast<int>(std::ceil(maxY + margin)) + 1)) &
                            cv::Rect(0, 0, grey.cols, grey.rows);
    if (region.width < 4 || region.height < 2) {
        return std::nullopt;
    }
    const double scale = static_cast<double>(kEyeWidth) / region.width;
    const cv::Size size(kEyeWidth,
                        std::max(2, static_cast<int>(std::lround(region.height * scale))));
    cv::resize(grey(region), eye_, size, 0, 0, cv::INTER_LINEAR);
    eye_.convertTo(eye_, CV_32F);

    // The outline in resampled pixels. Only centres inside it (to the pixel) are candidates;
    // gradients come from the whole region, so the iris rim under the lids still counts.
    std::vector<cv::Point2f> polygon;
    std::vector<cv::Point> corners;
    for (Point p : outline) {
        polygon.emplace_back(static_cast<float>((p.x - region.x) * scale),
                             static_cast<float>((p.y - region.y) * scale));
        corners.emplace_back(cvRound(polygon.back().x), cvRound(polygon.back().y));
    }
    candidates_ = cv::Mat::zeros(size, CV_8U);
    cv::fillConvexPoly(candidates_, corners, cv::Scalar(255));

    cv::Sobel(eye_, gradientX_, CV_32F, 1, 0, 3);
    cv::Sobel(eye_, gradientY_, CV_32F, 0, 1, 3);
    cv::Mat magnitude;
    cv::magnitude(gradientX_, gradientY_, magnitude);
    cv::Scalar mean, deviation;
    cv::meanStdDev(magnitude, mean, deviation);
    const float threshold = static_cast<float>(mean[0] + kThresholdFactor * deviation[0]);

    struct Gradient {
        float x, y, gx, gy;
    };
    std::vector<Gradient> gradients;
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            const float m = magnitude.at<float>(y, x);
            if (m > threshold && m > 0) {
                gradients.push_back({static_cast<float>(x), static_cast<float>(y),
                                     gradientX_.at<float>(y, x) / m,
                                     gradientY_.at<float>(y, x) / m});
            }
        }
    }
    if (gradients.empty()) {
        return std::nullopt;
    }
    // Dark points are likelier centres: weigh each by its inverted, smoothed brightness.
    cv::GaussianBlur(eye_, weight_, cv::Size(5, 5), 0);
    weight_ = 255.0 - weight_;

    double best = -1;
    cv::Point bestCentre(-1, -1);
    for (int cy = 0; cy < size.height; ++cy) {
        for (int cx = 0; cx < size.width; ++cx) {
            if (candidates_.at<uchar>(cy, cx) == 0) {
                continue;
            }
            float sum = 0;
            for (const Gradient& g : gradients) {
                const float dx = g.x - static_cast<float>(cx);
                const float dy = g.y - static_cast<float>(cy);
                const float length = std::sqrt(dx * dx + dy * dy);
                if (length == 0) {
                    continue;
                }
                const float dot = std::max(0.0f, (dx * g.gx + dy * g.gy) / length);
                sum += dot * dot;
            }
            const double score = weight_.at<float>(cy, cx) * sum;
            if (score > best) {
                best = score;
                bestCentre = cv::Point(cx, cy);
            }
        }
    }
    // A best centre on the edge, outside the exact outline, means the optimum lies beyond it: a
    // brow, the frame of glasses, lashes of a closing lid. On a recorded webcam face, taking such
    // edge points anyway tripled the frame-to-frame jitter of the raw gaze.
    if (bestCentre.x < 0 || cv::pointPolygonTest(polygon, cv::Point2f(bestCentre), false) < 0) {
        return std::nullopt;
    }
    return Point{region.x + bestCentre.x / scale, region.y + bestCentre.y / scale};
}

}  // namespace glimmora
