#include "gaze/vision/FaceLandmarker.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <opencv2/imgproc.hpp>

namespace glimmora {
namespace {

// Full detections run on the frame at this scale. Shrinking to 0.75 would nearly halve their
// cost, but on a recorded webcam clip it missed a face turned slightly away for a whole second
// that the full-size search finds at once; full detections run only while no face is followed.
constexpr double kDetectionScale = 1.0;
// A followed face is confirmed by a detection every this many frames.
constexpr int kCheckInterval = 5;
// This many failed confirmations in a row end the track.
constexpr int kFailedChecksToDrop = 2;
// The confirming search covers the box and this share of its size on each side, scaled so the
// face is about kCheckFaceSize px wide there.
constexpr double kCheckMargin = 0.5;
constexpr double kCheckFaceSize = 160.0;
// Where a face was a moment ago, a weaker detection is enough to confirm it: a head turned
// halfway scores below the detector's usual threshold.
constexpr double kCheckThreshold = -0.5;

dlib::array2d<unsigned char> toDlib(const cv::Mat& grey) {
    dlib::array2d<unsigned char> image(grey.rows, grey.cols);
    for (int y = 0; y < grey.rows; ++y) {
        std::copy_n(grey.ptr<unsigned char>(y), grey.cols, &image[y][0]);
    }
    return image;
}

int overlap(const cv::Rect& a, const cv::Rect& b) {
    return (a & b).area();
}

}  // namespace

struct FaceLandmarker::Models {
    dlib::frontal_face_detector detector;
    dlib::shape_predictor predictor;
};

FaceLandmarker::FaceLandmarker() = default;
FaceLandmarker::~FaceLandmarker() = default;

bool FaceLandmarker::load(const std::string& modelPath, std::string* error) {
    try {
        auto models = std::make_unique<Models>();
        models->detector = dlib::get_frontal_face_detector();
        dlib::deserialize(modelPath) >> models->predictor;
        if (models->predictor.num_parts() != 68) {
            if (error) {
                *error = "the model at " + modelPath + " does not give 68 landmarks";
            }
            return false;
        }
        models_ = std::move(models);
        return true;
    } catch (const std::exception& e) {
        if (error) {
            *error = e.what();
        }
        return false;
    }
}

bool FaceLandmarker::isLoaded() const {
    return models_ != nullptr;
}

void FaceLandmarker::reset() {
    previous_.reset();
    framesSinceCheck_ = 0;
    failedChecks_ = 0;
}

std::vector<cv::Rect> FaceLandmarker::detect(const cv::Mat& grey, double scale, double threshold) {
    std::vector<cv::Rect> faces;
    if (!models_ || grey.empty()) {
        return faces;
    }
    cv::Mat searched = grey;
    if (scale != 1.0) {
        cv::resize(grey, searched, cv::Size(), scale, scale,
                   scale < 1.0 ? cv::INTER_AREA : cv::INTER_LINEAR);
    }
    const dlib::array2d<unsigned char> image = toDlib(searched);
    for (const dlib::rectangle& r : models_->detector(image, threshold)) {
        faces.emplace_back(cvRound(r.left() / scale), cvRound(r.top() / scale),
                           cvRound(r.width() / scale), cvRound(r.height() / scale));
    }
    std::sort(faces.begin(), faces.end(),
              [](const cv::Rect& a, const cv::Rect& b) { return a.area() > b.area(); });
    return faces;
}

FaceShape FaceLandmarker::landmarksInBox(const cv::Mat& grey, const cv::Rect& box) {
    FaceShape shape{};
    if (!models_) {
        return shape;
    }
    const dlib::array2d<unsigned char> image = toDlib(grey);
    const dlib::full_object_detection detection = models_->predictor(
        image, dlib::rectangle(box.x, box.y, box.x + box.width - 1, box.y + box.height - 1));
    for (unsigned long i = 0; i < detection.num_parts() && i < shape.size(); ++i) {
        shape[i] = Point{static_cast<double>(detection.part(i).x()),
                         static_cast<double>(detection.part(i).y())};
    }
    return shape;
}

cv::Rect FaceLandmarker::boxAround(const FaceShape& shape) {
    double minX = shape[0].x, maxX = minX, minY = shape[0].y, maxY = minY;
    for (Point p : shape) {
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    // Measured on dlib's example faces, whose boxes came from the detector: the box is 1.09
    // times the landmarks' extent, and its centre sits 0.075 of their height higher.
    const double width = (maxX - minX) * 1.09, height = (maxY - minY) * 1.10;
    const double centreX = (minX + maxX) / 2 - (maxX - minX) * 0.018;
    const double centreY = (minY + maxY) / 2 - (maxY - minY) * 0.075;
    return cv::Rect(cvRound(centreX - width / 2), cvRound(centreY - height / 2), cvRound(width),
                    cvRound(height));
}

std::optional<FaceShape> FaceLandmarker::track(const cv::Mat& grey) {
    if (!models_ || grey.empty()) {
        return std::nullopt;
    }
    const cv::Rect frame(0, 0, grey.cols, grey.rows);
    cv::Rect box;
    if (!previous_) {
        const std::vector<cv::Rect> faces = detect(grey, kDetectionScale);
        if (faces.empty()) {
            return std::nullopt;
        }
        box = faces.front();
        framesSinceCheck_ = 0;
        failedChecks_ = 0;
    } else {
        box = boxAround(*previous_);
        if (overlap(box, frame) < box.area() / 2) {
            reset();  // the face left the frame
            return std::nullopt;
        }
        if (++framesSinceCheck_ >= kCheckInterval) {
            framesSinceCheck_ = 0;
            const int marginX = cvRound(box.width * kCheckMargin);
            const int marginY = cvRound(box.height * kCheckMargin);
            const cv::Rect region = cv::Rect(box.x - marginX, box.y - marginY,
                                             box.width + 2 * marginX, box.height + 2 * marginY) &
                                    frame;
            const double scale = std::clamp(kCheckFaceSize / box.width, 0.5, 2.0);
            std::vector<cv::Rect> faces = detect(grey(region), scale, kCheckThreshold);
            for (cv::Rect& face : faces) {
                face += region.tl();
            }
            const auto found = std::max_element(faces.begin(), faces.end(),
                                                [&](const cv::Rect& a, const cv::Rect& b) {
                                                    return overlap(a, box) < overlap(b, box);
                                                });
            if (found != faces.end() && overlap(*found, box) > 0) {
                box = *found;
                failedChecks_ = 0;
            } else if (++failedChecks_ >= kFailedChecksToDrop) {
                reset();
                return std::nullopt;
            }
        }
    }
    previous_ = landmarksInBox(grey, box);
    return previous_;
}

}  // namespace glimmora
