#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

#include "menu/AutostartEntry.h"
#include "menu/MenuActions.h"
#include "menu/MenuItem.h"
#include "menu/MenuRefresh.h"

class QSystemTrayIcon;

namespace glimmora {

class AppState;
class ProfileScheduler;
class TrayHostProbe;
class WindowManager;

/// The application's user interface: a status icon in the panel's tray whose menu switches every
/// feature and picks every parameter of the settings store. The menu holds no state of its own:
/// it is the model of buildMenu() turned into a QMenu, filled afresh 100 ms after every burst of
/// settings changes, which is also when the settings are saved (MenuRefresh). Choosing an item
/// runs MenuActions.
///
/// Qt uses a StatusNotifierItem where a panel hosts them (the menu is then exported over
/// com.canonical.dbusmenu) and an XEmbed icon otherwise, and makes that choice once per process.
/// So the icon is made only once a tray host exists: until then the menu is reached with
/// `glimmora --menu` (said once on standard output), and a host that starts later (a panel
/// starting after Glimmora in a login session) gets the icon without a restart.
///
/// Main thread only; needs a QApplication. Every reference must outlive the manager.
class MenuBarManager : public QObject {
    Q_OBJECT

public:
    MenuBarManager(AppState& settings, WindowManager& windows, ProfileScheduler& scheduler);
    ~MenuBarManager() override;

    /// Opens the menu at the mouse pointer, as if the tray icon had been clicked.
    void popUpAtPointer();

    /// The gaze tracker's state changed: the menu is rebuilt after the debounce, without a save.
    void gazeTrackerWillChange() { refresh_.refreshWithoutSaving(); }

    MenuActions& actions() { return actions_; }

    /// The status icon's name in the icon theme: the application id with "-symbolic", so that
    /// panels that load icons by name draw it in their own foreground colour.
    static QString iconName();

Q_SIGNALS:
    /// One of the menu's windows (the menu or a submenu) is about to show, or has hidden. The
    /// overlay stands above every window and is never shown its own windows in its picture, so
    /// it must let these stand above it while they are open.
    void menuWindowShown(quint32 windowId);
    void menuWindowHidden(quint32 windowId);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Makes the tray icon when a host exists now; otherwise says so once and keeps looking.
    void setupStatusItem();
    void lookForTrayHost();
    void createTrayIcon();
    /// Fills the tray's menu (and the one at the pointer while it is open) afresh.
    void rebuildMenu();
    std::vector<MenuItem> currentMenu() const;
    void fill(QMenu& menu, const std::vector<MenuItem>& items);
    /// Runs an item's action from the event loop, after the menu has finished with the click.
    void choose(const MenuItem& item);
    void showAboutBox();
    /// The status icon: the theme's icon by iconName() (copied into the user's icon theme when
    /// missing), or the same picture from the program's resources.
    QIcon statusIcon();

    AppState& settings_;
    AutostartEntry autostart_;
    MenuActions actions_;
    MenuRefresh refresh_;
    /// The tray icon's menu, refilled in place so a D-Bus host sees each rebuild.
    QMenu trayMenu_;
    /// The same menu opened at the pointer (glimmora --menu, a left click on the icon).
    QMenu popupMenu_;
    std::unique_ptr<QSystemTrayIcon> trayIcon_;
    std::unique_ptr<TrayHostProbe> trayHostProbe_;
    QTimer trayHostTimer_;
    /// The last poll found an XEmbed tray.
    bool sawXEmbedTray_ = false;
};

}  // namespace glimmora
