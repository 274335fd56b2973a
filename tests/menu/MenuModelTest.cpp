#include "menu/MenuModel.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <string>
#include <vector>

#include "app/WindowManager.h"
#include "menu/MenuActions.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "settings/ProfileScheduler.h"
#include "settings/SettingsByName.h"
#include "support/ManualRepeatingTimer.h"

namespace glimmora {
namespace {

const MenuItem* find(const std::vector<MenuItem>& items, const QString& title) {
    const auto it = std::find_if(items.begin(), items.end(),
                                 [&](const MenuItem& item) { return item.title == title; });
    return it == items.end() ? nullptr : &*it;
}

/// "name=value;name=value" as its assignments.
QStringList assignments(const char* text) {
    return QString::fromUtf8(text).split(';', Qt::SkipEmptyParts);
}

/// A store with the menu's actions over it.
struct MenuUnderTest {
    MemoryUserDefaults defaults;
    AppState settings{defaults};
    WindowManager windows;
    ProfileScheduler scheduler{settings, std::make_unique<ManualRepeatingTimer>(),
                               [] { return QDateTime(QDate(2026, 11, 30), QTime(10, 30)); }};
    MenuActions actions{settings, windows, scheduler, {}};
};

class MenuModelTest : public testing::Test {
protected:
    std::vector<MenuItem> menu() { return buildMenu(m->settings, MenuContext{}); }

    /// The items of a section given as "Submenu/Header": those under the header up to the next
    /// separator ("Submenu/" for the whole submenu).
    std::vector<MenuItem> section(const QString& path) {
        const std::vector<MenuItem> all = menu();
        const MenuItem* parent = find(all, path.section('/', 0, 0));
        const QString header = path.section('/', 1, 1);
        std::vector<MenuItem> items;
        bool inside = header.isEmpty();
        for (const MenuItem& item : parent ? parent->children : std::vector<MenuItem>{}) {
            if (item.kind == MenuItemKind::header || item.kind == MenuItemKind::separator) {
                inside = header.isEmpty() || item.title == header;
            } else if (inside) {
                items.push_back(item);
            }
        }
        return items;
    }

    std::unique_ptr<MenuUnderTest> m = std::make_unique<MenuUnderTest>();
};

TEST_F(MenuModelTest, ChoicesStoreExactValuesAndTickByTheirRules) {
    // Settings before; the item chosen ("Submenu/Header/Title", none when empty); settings
    // after; a section and the titles ticked in it afterwards.
    struct Row {
        const char* before;
        const char* choice;
        const char* after;
        const char* section;
        const char* ticked;
    };
    const Row rows[] = {
        {"", "🌙 Screen Dimmer/Brightness Level/Extra Dark (-80%)", "screenBrightness=-0.8",
         "🌙 Screen Dimmer/Brightness Level", "Extra Dark (-80%)"},
        {"screenBrightness=-0.5", "", "", "🌙 Screen Dimmer/Brightness Level", ""},
        {"", "🎯 Focus Mode/Intensity/Light",
         "focusModeGlitchAmount=0.4;focusModeDimAmount=0.4;focusModeDesatAmount=0.4",
         "🎯 Focus Mode/Intensity", "Light"},
        {"focusModeGlitchAmount=0.8;focusModeDimAmount=0.4;focusModeDesatAmount=1", "", "",
         "🎯 Focus Mode/Intensity", "Strong"},
        {"", "", "cursorSpotlightRadius=0.15", "🔦 Cursor Spotlight/Spotlight Size", ""},
        {"", "🔦 Cursor Spotlight/Border Width/None", "cursorSpotlightBorderWidth=0",
         "🔦 Cursor Spotlight/Border Width", "None"},
        {"", "👁 Color Blindness Filter//Enable Color Filter",
         "isColorBlindFilterEnabled=true;colorBlindFilterType=2",
         "👁 Color Blindness Filter/Filter Type", "Deuteranopia (Green-Blind)"},
        {"colorBlindFilterType=3", "👁 Color Blindness Filter//Enable Color Filter",
         "colorBlindFilterType=3", "👁 Color Blindness Filter/Filter Type",
         "Tritanopia (Blue-Blind)"},
        {"isColorBlindFilterEnabled=true", "👁 Color Blindness Filter//Enable Color Filter",
         "isColorBlindFilterEnabled=false;colorBlindFilterType=0",
         "👁 Color Blindness Filter/Filter Type", ""},
        {"activeProfileName=Night Mode", "", "", "⏰ Focus Profiles/Apply Profile Now",
         "Night Mode"},
        {"", "👀 Gaze Tracking//Gaze Tracking", "isGazeTrackingEnabled=true", "👀 Gaze Tracking/",
         "Gaze Tracking"},
        {"", "⏰ Focus Profiles/Apply Profile Now/Presentation",
         "activeProfileName=Presentation;isCursorSpotlightEnabled=true",
         "⏰ Focus Profiles/Apply Profile Now", "Presentation"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.before) + " → " + row.choice);
        m = std::make_unique<MenuUnderTest>();
        for (const QString& a : assignments(row.before)) {
            ASSERT_TRUE(
                setSettingFromText(m->settings, a.section('=', 0, 0), a.section('=', 1), nullptr))
                << a.toStdString();
        }
        if (const QString choice = QString::fromUtf8(row.choice); !choice.isEmpty()) {
            const std::vector<MenuItem> items = section(choice.section('/', 0, 1));
            const MenuItem* chosen = find(items, choice.section('/', 2));
            ASSERT_NE(chosen, nullptr);
            m->actions.perform(*chosen);
        }
        for (const QString& a : assignments(row.after)) {
            EXPECT_EQ(settingText(m->settings, a.section('=', 0, 0)), a.section('=', 1))
                << a.toStdString();
        }
        QStringList ticked;
        for (const MenuItem& item : section(QString::fromUtf8(row.section))) {
            if (item.ticked) {
                ticked << item.title;
            }
        }
        EXPECT_EQ(ticked.join(';').toStdString(), row.ticked);
    }
}

}  // namespace
}  // namespace glimmora
