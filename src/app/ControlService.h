#pragma once

#include <QDBusContext>
#include <QObject>
#include <functional>

namespace glimmora {

class AppState;
class MenuActions;

/// The control interface on the session bus: everything the menu reaches, for desktops that
/// show no tray and for scripts. Settings are read and written by name through the same store
/// the menu writes, so the menu rebuilds and the settings are saved after a write as after a
/// click. `glimmora --menu`, `--set` and the other options call these methods.
///
/// The method names are the bus's (D-Bus methods are capitalised). Main thread only.
class ControlService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.glimmora.Glimmora")

public:
    /// `showMenu` opens the menu at the pointer. `settings` and `actions` must outlive this.
    ControlService(AppState& settings, MenuActions& actions, std::function<void()> showMenu);

    /// Exports the service on the session bus under the application's object path. The bus name
    /// is claimed earlier, by the InstanceGuard. False when the bus is not reachable.
    bool publish();

public Q_SLOTS:
    /// Opens the menu at the pointer (after the reply).
    void ShowMenu();
    /// The setting's value as text; an InvalidArgument error for an unknown name.
    QString GetSetting(const QString& name);
    /// Writes a setting from text; an InvalidArgument error, and nothing written, for an unknown
    /// name or a value that does not parse.
    void SetSetting(const QString& name, const QString& value);
    /// Applies the first focus profile with exactly this name; an InvalidArgument error naming
    /// the profiles there are when none has it.
    void ApplyProfile(const QString& name);
    /// Saves the settings and quits (after the reply).
    void Quit();

private:
    void reject(const QString& message);

    AppState& settings_;
    MenuActions& actions_;
    std::function<void()> showMenu_;
};

}  // namespace glimmora
