#include "app/ControlService.h"

#include <QDBusConnection>
#include <QMetaObject>
#include <optional>

#include "app/ControlEndpoint.h"
#include "menu/MenuActions.h"
#include "settings/AppState.h"
#include "settings/FocusProfile.h"
#include "settings/SettingsByName.h"

namespace glimmora {

ControlService::ControlService(AppState& settings, MenuActions& actions,
                               std::function<void()> showMenu)
    : settings_(settings), actions_(actions), showMenu_(std::move(showMenu)) {}

bool ControlService::publish() {
    return QDBusConnection::sessionBus().registerObject(controlObjectPath(), this,
                                                        QDBusConnection::ExportAllSlots);
}

void ControlService::reject(const QString& message) {
    if (calledFromDBus()) {
        sendErrorReply(controlInvalidArgumentError(), message);
    }
}

void ControlService::ShowMenu() {
    // Queued: the caller's reply goes out first, and the menu opens from the event loop.
    QMetaObject::invokeMethod(
        this, [this] { showMenu_(); }, Qt::QueuedConnection);
}

QString ControlService::GetSetting(const QString& name) {
    const std::optional<QString> text = settingText(settings_, name);
    if (!text) {
        reject(QStringLiteral("unknown setting \"%1\"").arg(name));
        return {};
    }
    return *text;
}

void ControlService::SetSetting(const QString& name, const QString& value) {
    const std::optional<QString> before = settingText(settings_, name);
    QString error;
    if (!setSettingFromText(settings_, name, value, &error)) {
        reject(error);
        return;
    }
    // What the menu's switch would also have done (the overlay window, the scheduler), but only
    // for a real change: the scheduler must not be started twice.
    if (settingText(settings_, name) != before) {
        actions_.settingWritten(name);
    }
}

void ControlService::ApplyProfile(const QString& name) {
    const std::vector<FocusProfile> profiles =
        decodeFocusProfiles(
            settingText(settings_, QStringLiteral("focusProfiles")).value_or(QString()).toUtf8())
            .value_or(std::vector<FocusProfile>{});
    QStringList names;
    for (const FocusProfile& profile : profiles) {
        if (profile.name == name) {
            settings_.applyProfile(profile);
            return;
        }
        names << QLatin1Char('"') + profile.name + QLatin1Char('"');
    }
    reject(QStringLiteral("no focus profile is named \"%1\"; there are %2")
               .arg(name,
                    names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "))));
}

void ControlService::Quit() {
    QMetaObject::invokeMethod(
        this, [this] { actions_.quitApp(); }, Qt::QueuedConnection);
}

}  // namespace glimmora
