#pragma once

#include <QString>

namespace glimmora {

/// The XDG autostart entry that has the login session start Glimmora: the "Start at Login"
/// switch. The entry is a desktop file named after the application id in the autostart folder
/// of the user's configuration ($XDG_CONFIG_HOME/autostart, ~/.config/autostart without it).
/// Main thread only.
class AutostartEntry {
public:
    /// `configHome` is the user's configuration folder; `executable` the program the session
    /// starts (an absolute path).
    AutostartEntry(QString configHome, QString executable);

    /// The entry for the running program in the user's configuration folder.
    static AutostartEntry forThisProgram();

    QString filePath() const;

    /// Whether the session starts Glimmora: the entry exists and the user has not switched it
    /// off in the session's own settings (Hidden=true or X-GNOME-Autostart-enabled=false).
    bool isEnabled() const;

    /// Writes the entry or removes it. On failure logs one line and returns false.
    bool setEnabled(bool enabled);

    /// The text of the entry: a desktop file whose Exec line starts `executable`, quoted as
    /// desktop files require; name, comment and icon are those of the installed menu entry.
    static QString desktopFileText(const QString& executable);

private:
    QString configHome_;
    QString executable_;
};

}  // namespace glimmora
