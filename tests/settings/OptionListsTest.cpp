#include "settings/OptionLists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace glimmora {
namespace {

std::uint32_t bits(float value) {
    return std::bit_cast<std::uint32_t>(value);
}

int tickedCount(LevelList list, float setting) {
    const auto levels = options(list);
    return int(std::ranges::count_if(
        levels, [&](const LevelOption& option) { return isTicked(list, setting, option); }));
}

TEST(OptionLists, EnumerationItemsTickOnlyOnTheirExactValue) {
    for (EnumList list : allEnumLists) {
        for (const EnumOption& setting : options(list)) {
            for (const EnumOption& option : options(list)) {
                EXPECT_EQ(isTicked(setting.value, option), setting.value == option.value);
            }
        }
        EXPECT_FALSE(isTicked(-1, options(list).front()));
    }
}

// An item ticks strictly within its tolerance and no value ticks two items. Two would first
// overlap halfway between neighbours, so every float near each midpoint is tried.
TEST(OptionLists, ItemsTickWithinTheirToleranceAndNeverTwoAtOnce) {
    for (LevelList list : allLevelLists) {
        const auto levels = options(list);
        const float tolerance = tickTolerance(list);
        for (size_t i = 0; i < levels.size(); ++i) {
            for (float away : {-1.1f, -0.9f, 0.9f, 1.1f}) {
                EXPECT_EQ(isTicked(list, levels[i].value + away * tolerance, levels[i]),
                          std::fabs(away) < 1)
                    << levels[i].label << " " << away;
            }
            float setting = i == 0 ? levels[0].value : (levels[i - 1].value + levels[i].value) / 2;
            for (int k = 0; k < 64; ++k) {
                setting = std::nextafter(setting, -INFINITY);
            }
            for (int k = 0; k < 128; ++k, setting = std::nextafter(setting, INFINITY)) {
                EXPECT_LE(tickedCount(list, setting), 1) << setting;
            }
        }
    }
}

// A chosen item must store exactly the value in the table, or a float compare elsewhere (the
// renderer's "unchanged" brightness, a saved value read back) sees a neighbour.
TEST(OptionLists, EveryLevelRoundTripsThroughItsTagBitForBit) {
    for (LevelList list : allLevelLists) {
        for (const LevelOption& option : options(list)) {
            EXPECT_EQ(bits(valueForTag(list, tagForValue(list, option.value))), bits(option.value))
                << option.label;
        }
    }
}

}  // namespace
}  // namespace glimmora
