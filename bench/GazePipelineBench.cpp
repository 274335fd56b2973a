// CPU milliseconds per frame of each gaze stage on the recorded webcam clip, the frame rate the
// whole per-frame path sustains on one thread, and then the program's own path: the camera worker
// playing the clip at its own rate with the tracker and the status drawing on a main thread of
// their own, whose time per frame it reports. Prints one line per stage.
//
// Usage: glimmora-bench-gaze [CLIP]  (default: the clip of Debian's forensics-samples-files)

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "gaze/GazeEstimator.h"
#include "gaze/GazeTracker.h"
#include "gaze/RawGaze.h"
#include "gaze/views/GazeOverlayView.h"
#include "gaze/vision/FaceLandmarker.h"
#include "gaze/vision/GazeCameraWorker.h"
#include "gaze/vision/GazeFrameAnalyzer.h"
#include "gaze/vision/PupilLocator.h"

namespace {

using namespace glimmora;

/// CPU time of the calling thread: what the frame costs it, whoever else runs meanwhile.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Stage {
    const char* name;
    std::vector<double> ms;
    void report() {
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double m : ms) {
            sum += m;
        }
        const auto at = [this](double q) {
            return ms.empty() ? 0 : ms[static_cast<std::size_t>(q * double(ms.size() - 1))];
        };
        std::printf("%-38s mean %6.3f  median %6.3f  p99 %6.3f  max %6.3f ms (%zu frames)\n", name,
                    ms.empty() ? 0 : sum / double(ms.size()), at(0.5), at(0.99), at(1), ms.size());
    }
};

/// Runs the clip through the camera worker and the tracker as the program does, the tracker's
/// posted tasks and the status window's drawing (of the areas that change) on this thread.
void runAsTheProgramDoes(const std::vector<cv::Mat>& frames) {
    const std::string clip =
        (std::filesystem::temp_directory_path() / "glimmora-bench-webcam.avi").string();
    {
        cv::VideoWriter writer(clip, cv::CAP_OPENCV_MJPEG,
                               cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30, cv::Size(640, 480));
        for (const cv::Mat& webcam : frames) {
            writer.write(webcam);
        }
    }
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::function<void()>> tasks;
    GazeCameraWorker worker({.cameraPath = clip});
    GazeTracker tracker(worker, {.clock = [] { return nowMs() / 1000; },
                                 .display =
                                     [] {
                                         return DisplaySize{1920, 1080};
                                     },
                                 .postToMainThread =
                                     [&](std::function<void()> task) {
                                         const std::lock_guard lock(mutex);
                                         tasks.push_back(std::move(task));
                                         posted.notify_one();
                                     }});
    QImage window(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    GazeOverlayView::State shown;
    Stage main{"main thread CPU per task (tracker+draw)", {}};
    long faces = 0;
    double first = 0, last = 0;
    bool started = false;
    {
        // The first text drawn loads the fonts once per process, long before any frame.
        QPainter painter(&window);
        GazeOverlayView::paint(painter, QSizeF(1920, 1080), {true, true, false, {}});
        GazeOverlayView::paint(painter, QSizeF(1920, 1080), {true, true, true, {}});
    }
    tracker.startTracking();
    while (!started || tracker.isTracking()) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex);
            if (!posted.wait_for(lock, std::chrono::seconds(15), [&] { return !tasks.empty(); })) {
                break;
            }
            task = std::move(tasks.front());
            tasks.pop_front();
        }
        const double start = nowMs(), cpuStart = threadCpuMs();
        task();
        started = started || tracker.isTracking();
        const GazeOverlayView::State state{true, tracker.isTracking(), tracker.faceDetected(),
                                           tracker.gazePoint()};
        if (state != shown) {
            QPainter painter(&window);
            // As the status window does: the marker's old and new places, and the badge when
            // what it says changes.
            QRectF dirty =
                GazeOverlayView::markerBounds(shown) | GazeOverlayView::markerBounds(state);
            if (state.faceDetected != shown.faceDetected || state.isTracking != shown.isTracking) {
                dirty |= GazeOverlayView::badgeBounds(QSizeF(1920, 1080), shown) |
                         GazeOverlayView::badgeBounds(QSizeF(1920, 1080), state);
            }
            painter.setClipRect(dirty);
            painter.setCompositionMode(QPainter::CompositionMode_Clear);
            painter.fillRect(window.rect(), Qt::transparent);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            GazeOverlayView::paint(painter, QSizeF(1920, 1080), state);
            shown = state;
        }
        if (started) {
            faces += state.faceDetected;
            main.ms.push_back(threadCpuMs() - cpuStart);
            first = first == 0 ? start : first;
            last = start;
        }
    }
    tracker.stopTracking();
    std::filesystem::remove(clip);
    main.report();
    std::printf("sustained through the worker: %.1f results a second (%ld with a face)\n",
                static_cast<double>(main.ms.size()) / ((last - first) / 1000), faces);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string clip = argc > 1 ? argv[1]
                                      : "/usr/share/forensics-samples/original-files/movie2/"
                                        "movie-hello.mp4";
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    cv::setNumThreads(1);
    cv::VideoCapture video(clip, cv::CAP_FFMPEG);
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    while (video.read(frame)) {
        cv::Mat webcam;
        cv::resize(frame(cv::Rect(90, 60, 300, 225)), webcam, cv::Size(640, 480));
        frames.push_back(webcam);
    }
    if (frames.empty()) {
        std::fprintf(stderr, "cannot read %s\n", clip.c_str());
        return 1;
    }
    FaceLandmarker landmarker;
    std::string error;
    double start = nowMs();
    if (!landmarker.load(FaceLandmarker::kDefaultModelPath, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("model load: %.0f ms\n", nowMs() - start);

    Stage detect100{"detection at full size", {}}, detect75{"detection at 0.75", {}},
        track{"landmarks while following", {}}, pupils{"pupils (both eyes)", {}},
        estimate{"estimator", {}}, whole{"whole frame (grey+follow+pupils+est.)", {}};
    PupilLocator locator;
    GazeEstimator estimator;
    cv::Mat grey;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        cv::cvtColor(frames[i], grey, cv::COLOR_BGR2GRAY);
        if (i % 10 == 0) {
            start = nowMs();
            landmarker.detect(grey, 1.0);
            detect100.ms.push_back(nowMs() - start);
            start = nowMs();
            landmarker.detect(grey, 0.75);
            detect75.ms.push_back(nowMs() - start);
        }
        start = nowMs();
        const std::optional<FaceShape> shape = landmarker.track(grey);
        track.ms.push_back(nowMs() - start);
        if (!shape) {
            continue;
        }
        FaceEyes eyes;
        eyes.right.outline.assign(shape->begin() + 36, shape->begin() + 42);
        eyes.left.outline.assign(shape->begin() + 42, shape->begin() + 48);
        start = nowMs();
        eyes.right.pupil = locator.locate(grey, eyes.right.outline);
        eyes.left.pupil = locator.locate(grey, eyes.left.outline);
        pupils.ms.push_back(nowMs() - start);
        start = nowMs();
        if (const std::optional<RawGaze> raw = rawGazeFromEyes(eyes)) {
            estimator.estimate(*raw, DisplaySize{1920, 1080}, static_cast<double>(i) / 30);
        }
        estimate.ms.push_back(nowMs() - start);
    }
    GazeFrameAnalyzer analyzer;
    analyzer.load(FaceLandmarker::kDefaultModelPath, &error);
    GazeEstimator wholeEstimator;
    const double wholeStart = nowMs();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        start = nowMs();
        const FrameAnalysis analysis = analyzer.analyze(frames[i]);
        if (const std::optional<RawGaze> raw = rawGazeFromEyes(analysis.eyes);
            raw && analysis.face) {
            wholeEstimator.estimate(*raw, DisplaySize{1920, 1080}, static_cast<double>(i) / 30);
        }
        whole.ms.push_back(nowMs() - start);
    }
    const double seconds = (nowMs() - wholeStart) / 1000;
    for (Stage* stage : {&detect100, &detect75, &track, &pupils, &estimate, &whole}) {
        stage->report();
    }
    std::printf("sustained: %.1f frames a second on one thread\n",
                static_cast<double>(frames.size()) / seconds);
    runAsTheProgramDoes(frames);
    return 0;
}
