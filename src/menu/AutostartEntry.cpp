#include "menu/AutostartEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include "core/ApplicationId.h"
#include "core/Log.h"

namespace glimmora {
namespace {

/// One argument of an Exec line: in double quotes, with `"`, `` ` ``, `$` and `\` escaped by a
/// backslash, then every backslash escaped once more as the desktop file's string rule asks;
/// a literal `%` is written `%%` (field codes start with it).
QString quotedExecArgument(const QString& argument) {
    QString quoted;
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')) {
            quoted += QLatin1String("\\\\");
        } else if (c == QLatin1Char('\\')) {
            quoted += QLatin1String("\\\\\\");
        } else if (c == QLatin1Char('%')) {
            quoted += QLatin1Char('%');
        }
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

AutostartEntry::AutostartEntry(QString configHome, QString executable)
    : configHome_(std::move(configHome)), executable_(std::move(executable)) {}

AutostartEntry AutostartEntry::forThisProgram() {
    // GenericConfigLocation honours XDG_CONFIG_HOME and falls back to ~/.config.
    return AutostartEntry(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                          QCoreApplication::applicationFilePath());
}

QString AutostartEntry::filePath() const {
    return configHome_ + QLatin1String("/autostart/") + QLatin1String(kApplicationId) +
           QLatin1String(".desktop");
}

bool AutostartEntry::isEnabled() const {
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") {
            return false;
        }
    }
    return true;
}

bool AutostartEntry::setEnabled(bool enabled) {
    const QString path = filePath();
    if (!enabled) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            logLine("Start at Login: could not remove " + path.toStdString());
            return false;
        }
        return true;
    }
    QSaveFile file(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly) ||
        file.write(desktopFileText(executable_).toUtf8()) < 0 || !file.commit()) {
        logLine("Start at Login: could not write " + path.toStdString());
        return false;
    }
    return true;
}

QString AutostartEntry::desktopFileText(const QString& executable) {
    return QLatin1String(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Glimmora\n"
               "Comment=Screen overlay for focus, reading and low vision\n"
               "Exec=") +
           quotedExecArgument(executable) + QLatin1String("\nIcon=") +
           QLatin1String(kApplicationId) +
           QLatin1String(
               "\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n");
}

}  // namespace glimmora
