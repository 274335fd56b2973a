#include "menu/MenuBarManager.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QMessageBox>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include "core/ApplicationId.h"
#include "core/Log.h"
#include "core/QtRepeatingTimer.h"
#include "menu/MenuModel.h"
#include "platform/tray/TrayHostProbe.h"
#include "settings/AppState.h"

namespace glimmora {
namespace {

constexpr auto kTrayHostPollInterval = std::chrono::seconds(1);
const char* const kIconResource = ":/menu/icons/glimmora-symbolic.svg";

/// A title as QMenu shows it: a single '&' would mark a mnemonic (profile names are the user's).
QString menuText(const QString& title) {
    return QString(title).replace(QLatin1Char('&'), QLatin1String("&&"));
}

}  // namespace

MenuBarManager::MenuBarManager(AppState& settings, WindowManager& windows,
                               ProfileScheduler& scheduler)
    : settings_(settings),
      autostart_(AutostartEntry::forThisProgram()),
      actions_(settings, windows, scheduler,
               MenuActionHooks{
                   .showAboutBox = [this] { showAboutBox(); },
                   .terminate = [] { QCoreApplication::quit(); },
                   .startsAtLogin = [this] { return autostart_.isEnabled(); },
                   .setStartsAtLogin = [this](bool enabled) { autostart_.setEnabled(enabled); },
                   .refreshMenu = [this] { refresh_.refreshWithoutSaving(); },
               }),
      refresh_(
          settings.objectWillChange(), std::make_unique<QtRepeatingTimer>(Qt::PreciseTimer),
          [this] { rebuildMenu(); }, [this] { settings_.saveSettings(); }) {
    trayMenu_.installEventFilter(this);
    popupMenu_.installEventFilter(this);
    rebuildMenu();
    setupStatusItem();
}

MenuBarManager::~MenuBarManager() {
    // The icon leaves the panel before its menu goes.
    trayIcon_.reset();
}

QString MenuBarManager::iconName() {
    return QLatin1String(kApplicationId) + QLatin1String("-symbolic");
}

void MenuBarManager::setupStatusItem() {
    trayHostProbe_ = std::make_unique<TrayHostProbe>();
    if (trayHostProbe_->hasStatusNotifierHost() || trayHostProbe_->hasXEmbedTray()) {
        createTrayIcon();
        return;
    }
    logLine(
        "No system tray here: open Glimmora's menu with glimmora --menu (the icon appears if a "
        "tray starts later).");
    trayHostTimer_.callOnTimeout(this, [this] { lookForTrayHost(); });
    trayHostTimer_.start(kTrayHostPollInterval);
}

void MenuBarManager::lookForTrayHost() {
    // A panel that hosts StatusNotifierItems often also takes the XEmbed tray, and may take it
    // first: an XEmbed tray must still be there a poll later before the icon settles on it, so
    // the D-Bus host, when there is one, has registered by then.
    const bool hasXEmbedTray = trayHostProbe_->hasXEmbedTray();
    if (trayHostProbe_->hasStatusNotifierHost() || (hasXEmbedTray && sawXEmbedTray_)) {
        trayHostTimer_.stop();
        logLine("A system tray appeared: Glimmora's icon is in it now.");
        createTrayIcon();
        return;
    }
    sawXEmbedTray_ = hasXEmbedTray;
}

void MenuBarManager::createTrayIcon() {
    trayHostProbe_.reset();
    trayIcon_ = std::make_unique<QSystemTrayIcon>(statusIcon());
    trayIcon_->setToolTip(QStringLiteral("Glimmora"));
    trayIcon_->setContextMenu(&trayMenu_);
    // Hosts send a left click as activation; it opens the same menu.
    connect(trayIcon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    popUpAtPointer();
                }
            });
    trayIcon_->show();
}

QIcon MenuBarManager::statusIcon() {
    // Panels that load the icon by name need it in an icon theme they search. The package
    // installs it in the system's hicolor theme; run from a build, Glimmora copies it into the
    // user's own (when missing or changed). Without either the panel gets the picture.
    const QString themed = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QLatin1String("/icons/hicolor/scalable/apps/") + iconName() +
                           QLatin1String(".svg");
    const bool isInstalled = !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                     QLatin1String("icons/hicolor/symbolic/apps/") +
                                                         iconName() + QLatin1String(".svg"))
                                  .isEmpty();
    QFile resource(QString::fromLatin1(kIconResource));
    QFile installed(themed);
    if (!isInstalled && resource.open(QIODevice::ReadOnly)) {
        const QByteArray picture = resource.readAll();
        if (!installed.open(QIODevice::ReadOnly) || installed.readAll() != picture) {
            installed.close();
            if (QDir().mkpath(QFileInfo(themed).path()) && installed.open(QIODevice::WriteOnly)) {
                installed.write(picture);
            }
        }
    }
    return QIcon::fromTheme(iconName(), QIcon(QString::fromLatin1(kIconResource)));
}

void MenuBarManager::rebuildMenu() {
    const std::vector<MenuItem> items = currentMenu();
    fill(trayMenu_, items);
    // The menu at the pointer is filled when it opens; only an open one follows the changes.
    if (popupMenu_.isVisible()) {
        fill(popupMenu_, items);
    }
}

std::vector<MenuItem> MenuBarManager::currentMenu() const {
    return buildMenu(settings_, MenuContext{.startsAtLogin = autostart_.isEnabled(),
                                            .gazeCalibrated = actions_.isGazeCalibrated()});
}

void MenuBarManager::fill(QMenu& menu, const std::vector<MenuItem>& items) {
    // Submenus are children of their menu; clear() drops only the actions.
    const QList<QMenu*> submenus = menu.findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
    menu.clear();
    qDeleteAll(submenus);
    for (const MenuItem& item : items) {
        switch (item.kind) {
            case MenuItemKind::separator:
                menu.addSeparator();
                break;
            case MenuItemKind::header:
                menu.addAction(menuText(item.title))->setEnabled(false);
                break;
            case MenuItemKind::submenu: {
                QMenu* submenu = menu.addMenu(menuText(item.title));
                submenu->installEventFilter(this);
                fill(*submenu, item.children);
                break;
            }
            case MenuItemKind::command:
            case MenuItemKind::toggle: {
                QAction* action = menu.addAction(menuText(item.title));
                action->setCheckable(item.kind == MenuItemKind::toggle);
                action->setChecked(item.ticked);
                action->setEnabled(item.enabled);
                if (!item.keyHint.isEmpty()) {
                    action->setShortcut(QKeySequence(item.keyHint));
                }
                connect(action, &QAction::triggered, this, [this, item] { choose(item); });
                break;
            }
        }
    }
}

void MenuBarManager::choose(const MenuItem& item) {
    // Queued: the action may rebuild this menu or open a modal box, neither of which may happen
    // inside the menu's own handling of the click.
    QMetaObject::invokeMethod(
        this, [this, item] { actions_.perform(item); }, Qt::QueuedConnection);
}

bool MenuBarManager::eventFilter(QObject* watched, QEvent* event) {
    // Shown: the native window exists and is about to map. Hidden: also when a rebuild deletes
    // an open submenu.
    if (auto* menu = qobject_cast<QMenu*>(watched)) {
        if (event->type() == QEvent::Show) {
            Q_EMIT menuWindowShown(static_cast<quint32>(menu->winId()));
        } else if (event->type() == QEvent::Hide && menu->testAttribute(Qt::WA_WState_Created)) {
            Q_EMIT menuWindowHidden(static_cast<quint32>(menu->winId()));
        }
    }
    return QObject::eventFilter(watched, event);
}

void MenuBarManager::popUpAtPointer() {
    fill(popupMenu_, currentMenu());
    popupMenu_.popup(QCursor::pos());
}

void MenuBarManager::showAboutBox() {
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    box.setIconPixmap(QIcon::fromTheme(QLatin1String(kApplicationId), statusIcon()).pixmap(64));
    box.setWindowTitle(QStringLiteral("Glimmora"));
    box.setText(QStringLiteral("Glimmora"));
    box.setInformativeText(QStringLiteral("Real-time screen shader overlay for Linux"));
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

}  // namespace glimmora
