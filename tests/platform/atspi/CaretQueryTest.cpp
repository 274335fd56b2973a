// The caret rules on replies recorded from GTK 3.24, GTK 4.8 and Qt 6.4 on Debian 12.

#include "platform/atspi/CaretQuery.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace glimmora {
namespace {

using Kind = AtspiRequest::Kind;
constexpr auto kScreen = AtspiCoordinates::screen;
constexpr auto kWindow = AtspiCoordinates::window;

AtspiReply numbers(std::vector<std::int64_t> numbers, std::string text = "") {
    AtspiReply reply;
    reply.ok = true;
    reply.numbers = std::move(numbers);
    reply.text = std::move(text);
    return reply;
}
AtspiReply refused(std::string message = "", std::string name = "NotSupported") {
    AtspiReply reply;
    reply.errorName = "org.freedesktop.DBus.Error." + name;
    reply.errorMessage = std::move(message);
    return reply;
}

struct Step {
    AtspiRequest request;
    AtspiReply reply;
};

struct Recording {
    const char* what;
    AtspiCoordinates start;
    std::vector<Step> steps;
    std::optional<Rect> caret;
    AtspiCoordinates coordinates = kScreen;
    friend void PrintTo(const Recording& r, std::ostream* out) { *out << r.what; }
};

// The caret at offset `offset` of a text without a selection: the first three requests.
std::vector<Step> caretAt(int offset, AtspiCoordinates coordinates, AtspiReply extents) {
    return {{{Kind::selectionCount, 0, 0, coordinates}, numbers({0})},
            {{Kind::caretOffset, 0, 0, coordinates}, numbers({offset})},
            {{Kind::characterExtents, offset, 0, coordinates}, std::move(extents)}};
}

std::vector<Step> operator+(std::vector<Step> first, const std::vector<Step>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

class CaretQueryTest : public testing::TestWithParam<Recording> {};

TEST_P(CaretQueryTest, FollowsTheToolkitsAnswersToOneRectangle) {
    const Recording& recording = GetParam();
    CaretQuery query(recording.start);
    for (const Step& step : recording.steps) {
        ASSERT_TRUE(query.pending().has_value());
        EXPECT_EQ(*query.pending(), step.request);
        query.answer(step.reply);
    }
    EXPECT_TRUE(query.isFinished());
    ASSERT_EQ(query.result().has_value(), recording.caret.has_value());
    if (recording.caret) {
        EXPECT_EQ(query.result()->rect, *recording.caret);
        EXPECT_EQ(query.result()->coordinates, recording.coordinates);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Recorded, CaretQueryTest,
    testing::Values(
        Recording{"Gtk3EndOfTextHasAZeroWidthCaret", kScreen,
                  caretAt(16, kScreen, numbers({413, 291, 0, 17})), Rect{413, 291, 0, 17}},
        Recording{"QtEndOfLineTakesThePreviousRightEdge", kScreen,
                  caretAt(8, kScreen, numbers({0, 0, 0, 0})) +
                      std::vector<Step>{{{Kind::characterExtents, 7}, numbers({440, 268, 7, 14})}},
                  Rect{447, 268, 0, 14}},
        Recording{"QtEmptyLastLineStartsBelowTheLineBreak", kScreen,
                  caretAt(4, kScreen, numbers({0, 0, 0, 0})) +
                      std::vector<Step>{{{Kind::characterExtents, 3}, numbers({427, 301, 0, 14})},
                                        {{Kind::text, 3, 4}, numbers({}, "\n")},
                                        {{Kind::characterExtents, 0}, numbers({406, 301, 7, 14})}},
                  Rect{406, 315, 0, 14}},
        Recording{"Gtk4RefusesScreenCoordinates", kScreen,
                  caretAt(16, kScreen, refused("Unsupported coordinate space")) +
                      std::vector<Step>{
                          {{Kind::characterExtents, 16, 0, kWindow}, numbers({23, 66, 0, 16})}},
                  Rect{23, 66, 0, 16}, kWindow},
        Recording{
            "Gtk4EntryGivesItsOneLine", kWindow,
            caretAt(11, kWindow, refused()) +
                std::vector<Step>{{{Kind::state, 0, 0, kWindow}, numbers({0x41001880, 0})},
                                  {{Kind::objectExtents, 0, 0, kWindow}, numbers({9, 1, 482, 32})}},
            Rect{9, 1, 482, 32}, kWindow},
        Recording{"SelectionGivesTheRange",
                  kScreen,
                  {{{Kind::selectionCount}, numbers({1})},
                   {{Kind::selection}, numbers({11, 4})},
                   {{Kind::rangeExtents, 4, 11}, numbers({406, 301, 65, 28})}},
                  Rect{406, 301, 65, 28}},
        Recording{
            "SelectionWithoutRangeExtentsGivesTheCaret", kWindow,
            std::vector<Step>{{{Kind::selectionCount, 0, 0, kWindow}, numbers({1})},
                              {{Kind::selection, 0, 0, kWindow}, numbers({4, 11})},
                              {{Kind::rangeExtents, 4, 11, kWindow}, refused()},
                              {{Kind::caretOffset, 0, 0, kWindow}, numbers({11})},
                              {{Kind::characterExtents, 11, 0, kWindow}, numbers({72, 34, 0, 16})}},
            Rect{72, 34, 0, 16}, kWindow},
        Recording{"ZeroRectangleAtTheStartIsNoCaret", kScreen,
                  caretAt(0, kScreen, numbers({0, 0, 0, 0})), std::nullopt},
        Recording{"NoTextIsNoCaret",
                  kScreen,
                  {{{Kind::selectionCount}, refused("", "UnknownMethod")},
                   {{Kind::caretOffset}, refused("", "UnknownMethod")}},
                  std::nullopt}),
    [](const testing::TestParamInfo<Recording>& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace glimmora
