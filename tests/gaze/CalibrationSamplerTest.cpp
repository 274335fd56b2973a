// What a calibration target records: the median of the raw gaze in the last 0.7 s before the
// press, once the eyes had 0.3 s to settle on the target.

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "gaze/CalibrationSampler.h"

namespace glimmora {
namespace {

struct SamplerCase {
    const char* name;
    std::vector<std::pair<double, RawGaze>> samples;  // (time, raw), target shown at t = 10
    double pressedAt;
    std::optional<RawGaze> expected;
};

TEST(CalibrationSamplerTest, RecordsTheMedianOfTheSettledWindowBeforeThePress) {
    const SamplerCase cases[] = {
        // A blink (0.9, 0.1) among steady samples does not move the median.
        {"steady with a blink",
         {{10.5, {0.40, 0.60}}, {10.6, {0.42, 0.62}}, {10.7, {0.9, 0.1}}, {10.8, {0.41, 0.61}}},
         10.9,
         RawGaze{0.415, 0.605}},
        // 10.1 is before the eyes settled; 10.35 and later count.
        {"still moving at first",
         {{10.1, {0.9, 0.9}}, {10.35, {0.3, 0.7}}, {10.4, {0.3, 0.7}}, {10.45, {0.2, 0.8}}},
         10.5,
         RawGaze{0.3, 0.7}},
        // Only the last 0.7 s count: at 12.0 the samples of 11.2 and before are stale.
        {"old samples",
         {{11.0, {0.9, 0.9}},
          {11.2, {0.9, 0.9}},
          {11.5, {0.1, 0.2}},
          {11.7, {0.1, 0.2}},
          {11.9, {0.2, 0.3}}},
         12.0,
         RawGaze{0.1, 0.2}},
        {"pressed too early", {{10.1, {0.5, 0.5}}, {10.2, {0.5, 0.5}}}, 10.25, std::nullopt},
        {"no face seen", {}, 12.0, std::nullopt},
    };
    for (const SamplerCase& c : cases) {
        CalibrationSampler sampler;
        sampler.add({0.0, 0.0}, 9.9);  // the previous target's
        sampler.startTarget(10.0);
        for (const auto& [time, raw] : c.samples) {
            sampler.add(raw, time);
        }
        const std::optional<RawGaze> recorded = sampler.record(c.pressedAt);
        ASSERT_EQ(recorded.has_value(), c.expected.has_value()) << c.name;
        if (recorded) {
            EXPECT_DOUBLE_EQ(recorded->x, c.expected->x) << c.name;
            EXPECT_DOUBLE_EQ(recorded->y, c.expected->y) << c.name;
        }
    }
}

}  // namespace
}  // namespace glimmora
