#include "capture/CaptureIntake.h"

#include <gtest/gtest.h>

namespace glimmora {
namespace {

// Pictures and scenes (the parameter) go through the same throttle.
class CaptureIntakeThrottleTest : public testing::TestWithParam<bool> {
protected:
    CaptureIntakeThrottleTest() { intake.follow(1); }

    double now = 0;
    PictureHandOver handOver;
    CaptureIntake intake{handOver, [this] { return now; }, [](std::uint64_t) {}};
    std::unique_ptr<CaptureStreamDelegate> stream = intake.delegateFor(1);
};

TEST_P(CaptureIntakeThrottleTest, HoldsBackWhatComesTooSoonAndSendsTheNewestLater) {
    // Pictures are told apart by their colour, scenes by their width; 0 is no picture.
    const struct {
        double time;
        int sent;
        int shown;
        int changedSince = 0;  // a picture shown carries the changes of those replaced
    } steps[] = {
        {10.000, 1, 1},     // the first goes out at once
        {10.005, 2, 0},     // too soon: held back...
        {10.010, 3, 0},     // ...and replaced by a newer one
        {10.020, 0, 3, 2},  // a sign of life lets the newest out once it is late enough
        {10.040, 0, 0},     // nothing held: it takes no slot either...
        {10.045, 4, 4},     // ...so a picture 5 ms after it goes out
        {10.050, 5, 0},    {10.070, 6, 6, 5},  // late enough itself: it goes out, not the one held
    };
    for (const auto& step : steps) {
        now = step.time;
        CaptureSample sample;
        if (step.sent != 0 && GetParam()) {
            auto scene = std::make_shared<DesktopScene>();
            scene->size = QSize(step.sent, 1);
            sample.scene = std::move(scene);
        } else if (step.sent != 0) {
            sample.picture = QImage(1, 1, QImage::Format_RGB32);
            sample.picture.fill(static_cast<uint>(step.sent));
            sample.changed = QRegion(step.sent, 0, 1, 1);  // each picture's own column
        }
        stream->didOutputSample(sample);
        const std::optional<DesktopPicture> shown = handOver.takePending();
        EXPECT_EQ(!shown         ? 0
                  : shown->scene ? shown->scene->size.width()
                                 : static_cast<int>(shown->image.pixel(0, 0) & 0xff),
                  step.shown)
            << "at " << step.time;
        if (shown && !GetParam()) {
            const int first = step.changedSince != 0 ? step.changedSince : step.shown;
            EXPECT_EQ(shown->changed, QRegion(first, 0, step.shown - first + 1, 1)) << step.time;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PicturesAndScenes, CaptureIntakeThrottleTest, testing::Bool(),
                         [](const auto& info) { return info.param ? "Scenes" : "Pictures"; });

}  // namespace
}  // namespace glimmora
