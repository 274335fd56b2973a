#include "menu/MenuActions.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/WindowManager.h"
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
    MenuActionsTest() {
        windows.overlayWindow = overlay;
        hooks.showAboutBox = [this] { levelDuringAbout = overlay->level(); };
        hooks.terminate = [this] {
            savedBeforeTerminating = defaults.contains("isOverlayEnabled");
        };
        hooks.startsAtLogin = [this] { return startsAtLogin; };
        hooks.setStartsAtLogin = [this](bool enabled) { startsAtLogin = enabled; };
        hooks.refreshMenu = [this] { ++refreshes; };
    }

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
    MenuActionHooks hooks;
    std::unique_ptr<MenuActions> actions;
    MenuActions& act() {
        if (!actions) {
            actions = std::make_unique<MenuActions>(settings, windows, scheduler, hooks);
        }
        return *actions;
    }

    int levelDuringAbout = -1;
    std::optional<bool> savedBeforeTerminating;
    bool startsAtLogin = false;
    int refreshes = 0;
};

TEST_F(MenuActionsTest, WindowSwitchesReachTheOverlayWindow) {
    act().perform(chosen(MenuCommand::toggleOverlay));
    EXPECT_FALSE(isOn("isOverlayEnabled"));
    EXPECT_FALSE(overlay->isVisible());
    act().perform(chosen(MenuCommand::toggleOverlay));
    EXPECT_TRUE(overlay->isVisible());

    act().perform(chosen(MenuCommand::toggleHideFromScreenSharing));
    EXPECT_TRUE(isOn("isHiddenFromScreenSharing"));
    EXPECT_EQ(overlay->sharingType(), WindowSharingType::none);
}

TEST_F(MenuActionsTest, ScheduledProfilesSwitchStartsAndStopsTheScheduler) {
    act().perform(chosen(MenuCommand::toggleScheduledProfiles));
    EXPECT_TRUE(scheduler.isScheduling());
    EXPECT_EQ(settingText(settings, u"activeProfileName"), QStringLiteral("Work Hours"));
    act().perform(chosen(MenuCommand::toggleScheduledProfiles));
    EXPECT_FALSE(scheduler.isScheduling());

    // Written by name (the command line) rather than chosen: the same follow-ups.
    setSettingFromText(settings, u"isScheduledProfilesEnabled", u"true", nullptr);
    act().settingWritten(u"isScheduledProfilesEnabled");
    EXPECT_TRUE(scheduler.isScheduling());
    setSettingFromText(settings, u"isOverlayEnabled", u"false", nullptr);
    act().settingWritten(u"isOverlayEnabled");
    EXPECT_FALSE(overlay->isVisible());
}

TEST_F(MenuActionsTest, HooksRunWithTheStateTheyNeed) {
    act().perform(chosen(MenuCommand::showAbout));
    EXPECT_EQ(levelDuringAbout, WindowLevel::normal) << "the overlay covers the about box";
    EXPECT_EQ(overlay->level(), WindowLevel::overlay);

    act().perform(chosen(MenuCommand::toggleStartAtLogin));
    EXPECT_TRUE(startsAtLogin);
    EXPECT_EQ(refreshes, 1) << "the tick shows the old state";

    ASSERT_FALSE(defaults.contains("isOverlayEnabled"));  // nothing was changed, or saved
    act().perform(chosen(MenuCommand::quitApp));
    EXPECT_EQ(savedBeforeTerminating, true);
}

}  // namespace
}  // namespace glimmora
