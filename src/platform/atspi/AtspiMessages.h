#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glimmora {

/// An accessible object of some application on the accessibility bus: the application's
/// unique bus name and the object's path.
struct AtspiObject {
    std::string bus;
    std::string path;

    bool operator==(const AtspiObject&) const = default;
};

/// AT-SPI coordinate types: relative to the screen, or to the object's top-level window.
enum class AtspiCoordinates : std::uint32_t { screen = 0, window = 1 };

/// One AT-SPI call the caret logic wants made on an object, in the logic's own terms; the
/// D-Bus layer turns it into a message. Keeping the logic away from D-Bus lets it be tested on
/// replies recorded from real toolkits.
struct AtspiRequest {
    enum class Kind {
        selectionCount,    ///< Text.GetNSelections() → one int
        selection,         ///< Text.GetSelection(first) → start, end
        rangeExtents,      ///< Text.GetRangeExtents(first, second, coordinates) → x, y, w, h
        caretOffset,       ///< Text's CaretOffset property → one int
        characterExtents,  ///< Text.GetCharacterExtents(first, coordinates) → x, y, w, h
        text,              ///< Text.GetText(first, second) → text
        state,             ///< Accessible.GetState() → two 32-bit state words
        objectExtents,     ///< Component.GetExtents(coordinates) → x, y, w, h
        interfaces,        ///< Accessible.GetInterfaces() → names
        children,          ///< Accessible.GetChildren() → objects
    };
    Kind kind = Kind::selectionCount;
    int first = 0;
    int second = 0;
    AtspiCoordinates coordinates = AtspiCoordinates::screen;

    bool operator==(const AtspiRequest&) const = default;
};

/// What came back for an AtspiRequest: the numbers of the reply in order (state words as
/// unsigned values), its text or names, or the error.
struct AtspiReply {
    bool ok = false;
    /// D-Bus error name and message when !ok ("org.freedesktop.DBus.Error.NotSupported").
    std::string errorName;
    std::string errorMessage;
    std::vector<std::int64_t> numbers;
    std::string text;
    std::vector<std::string> names;
    std::vector<AtspiObject> objects;
};

/// AT-SPI state bits (the first word of Accessible.GetState).
namespace atspi_state {
constexpr std::uint32_t kFocused = 1u << 12;
constexpr std::uint32_t kMultiLine = 1u << 17;
constexpr std::uint32_t kShowing = 1u << 25;
constexpr std::uint32_t kManagesDescendants = 1u << 31;
}  // namespace atspi_state

}  // namespace glimmora
