#include "menu/MenuActions.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/WindowManager.h"
#include "menu/MenuModel.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "settings/ProfileScheduler.h"
#include "settings/SettingsByName.h"
#include "support/FakeWindowHandle.h"
#include "support/ManualRepeatingTimer.h"

namespace glimmora {
namespace {

MenuItem chosen(MenuCommand command, const QString& profileId = QString()) {
    MenuItem item;
    item.kind = MenuItemKind::toggle;
    item.command = command;
    item.profileId = profileId;
    return item;
}

class MenuActionsTest : public testing::Test {
protected:
    MenuActionsTest() { windows.overlayWindow = overlay; }

    bool isOn(const char* name) {
        return settingText(settings, QString::fromLatin1(name)) == QStringLiteral("true");
    }

    MemoryUserDefaults defaults;
    AppState settings{defaults};
    WindowManager windows;
    std::shared_ptr<test::FakeWindowHandle> overlay =
        std::make_shared<test::FakeWindowHandle>(WindowLevel::overlay);
    // Monday 10:30: "Work Hours" applies.
    ProfileScheduler scheduler{settings, std::make_unique<ManualRepeatingTimer>(),
                               [] { return QDateTime(QDate(2026, 11, 30), QTime(10, 30)); }};
    int levelDuringAbout = -1;
    std::optional<bool> savedBeforeTerminating;
    bool startsAtLogin = false;
    int refreshes = 0;
    MenuActions actions{
        settings,
        windows,
        scheduler,
        {.showAboutBox = [this] { levelDuringAbout = overlay->level(); },
         .terminate = [this] { savedBeforeTerminating = defaults.contains("isOverlayEnabled"); },
         .startsAtLogin = [this] { return startsAtLogin; },
         .setStartsAtLogin = [this](bool enabled) { startsAtLogin = enabled; },
         .refreshMenu = [this] { ++refreshes; }}};
};

TEST_F(MenuActionsTest, WindowSwitchesReachTheOverlayWindow) {
    actions.perform(chosen(MenuCommand::toggleOverlay));
    EXPECT_FALSE(isOn("isOverlayEnabled"));
    EXPECT_FALSE(overlay->isVisible());
    actions.perform(chosen(MenuCommand::toggleOverlay));
    EXPECT_TRUE(overlay->isVisible());

    actions.perform(chosen(MenuCommand::toggleHideFromScreenSharing));
    EXPECT_TRUE(isOn("isHiddenFromScreenSharing"));
    EXPECT_EQ(overlay->sharingType(), WindowSharingType::none);
}

TEST_F(MenuActionsTest, ScheduledProfilesSwitchStartsAndStopsTheScheduler) {
    actions.perform(chosen(MenuCommand::toggleScheduledProfiles));
    EXPECT_TRUE(scheduler.isScheduling());
    EXPECT_EQ(settingText(settings, u"activeProfileName"), QStringLiteral("Work Hours"));
    actions.perform(chosen(MenuCommand::toggleScheduledProfiles));
    EXPECT_FALSE(scheduler.isScheduling());

    // Written by name (the command line) rather than chosen: the same follow-ups.
    setSettingFromText(settings, u"isScheduledProfilesEnabled", u"true", nullptr);
    actions.settingWritten(u"isScheduledProfilesEnabled");
    EXPECT_TRUE(scheduler.isScheduling());
    setSettingFromText(settings, u"isOverlayEnabled", u"false", nullptr);
    actions.settingWritten(u"isOverlayEnabled");
    EXPECT_FALSE(overlay->isVisible());
}

TEST_F(MenuActionsTest, HooksRunWithTheStateTheyNeed) {
    actions.perform(chosen(MenuCommand::showAbout));
    EXPECT_EQ(levelDuringAbout, WindowLevel::normal) << "the overlay covers the about box";
    EXPECT_EQ(overlay->level(), WindowLevel::overlay);

    actions.perform(chosen(MenuCommand::toggleStartAtLogin));
    EXPECT_TRUE(startsAtLogin);
    EXPECT_EQ(refreshes, 1) << "the tick shows the old state";

    bool calibrated = false;
    actions.setGazeHooks({.calibrate = [&] { calibrated = true; },
                          .resetCalibration = [&] { calibrated = false; },
                          .isCalibrated = [&] { return calibrated; }});
    for (const MenuCommand command :
         {MenuCommand::calibrateGaze, MenuCommand::resetGazeCalibration}) {
        actions.perform(chosen(command));
        const auto menu = buildMenu(settings, {.gazeCalibrated = actions.isGazeCalibrated()});
        const auto gaze =
            std::ranges::find(menu, QStringLiteral("👀 Gaze Tracking"), &MenuItem::title);
        EXPECT_EQ(gaze->children.back().enabled, command == MenuCommand::calibrateGaze);
    }

    ASSERT_FALSE(defaults.contains("isOverlayEnabled"));  // nothing was changed, or saved
    actions.perform(chosen(MenuCommand::quitApp));
    EXPECT_EQ(savedBeforeTerminating, true);
}

}  // namespace
}  // namespace glimmora
