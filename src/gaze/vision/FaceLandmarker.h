#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "core/Point.h"

namespace glimmora {

/// The 68 landmarks of one face in frame pixels, in the iBUG 300-W order dlib's model uses:
/// the subject's right eye is points 36 to 41, the left eye 42 to 47.
using FaceShape = std::array<Point, 68>;

/// Finds and follows one face in a stream of grey frames with dlib's HOG face detector and
/// 68-point shape predictor.
///
/// A full detection costs tens of milliseconds, so it runs only while no face is followed.
/// While a face is followed, its box comes from the last landmarks,
/// and every few frames a detection in a region around that box confirms it; two failed checks
/// in a row drop the track, and the next frame searches the whole frame again.
///
/// Loading the model takes about a second: do it on the thread that will use the instance.
/// One instance serves one thread.
class FaceLandmarker {
public:
    FaceLandmarker();
    ~FaceLandmarker();
    FaceLandmarker(const FaceLandmarker&) = delete;
    FaceLandmarker& operator=(const FaceLandmarker&) = delete;

    /// Where Debian's libdlib-data installs the 68-point model.
    static constexpr const char* kDefaultModelPath =
        "/usr/share/dlib/shape_predictor_68_face_landmarks.dat";

    /// Loads the face detector and the shape model from `modelPath`. Returns false (and leaves
    /// the instance unusable) when the model is missing or unreadable; `error` then says why.
    bool load(const std::string& modelPath, std::string* error = nullptr);
    bool isLoaded() const;

    /// The followed face's landmarks in `grey` (8-bit, one channel), or nothing when no face
    /// is followed after this frame.
    std::optional<FaceShape> track(const cv::Mat& grey);

    /// Forgets the followed face; the next frame starts with a full detection.
    void reset();

    /// Faces the detector finds in `grey` searched at `scale` (1 = as it is), in grey's
    /// pixels, largest first. `threshold` shifts the detector's decision threshold (below 0
    /// accepts weaker faces).
    std::vector<cv::Rect> detect(const cv::Mat& grey, double scale, double threshold = 0.0);

    /// The landmarks the shape model gives the face inside `box` of `grey`.
    FaceShape landmarksInBox(const cv::Mat& grey, const cv::Rect& box);

    /// A box like the detector's for a face whose landmarks are `shape`: the box the shape model
    /// was trained with is a little wider than the landmarks and sits a little higher.
    static cv::Rect boxAround(const FaceShape& shape);

private:
    struct Models;
    std::unique_ptr<Models> models_;
    std::optional<FaceShape> previous_;
    int framesSinceCheck_ = 0;
    int failedChecks_ = 0;
};

}  // namespace glimmora
