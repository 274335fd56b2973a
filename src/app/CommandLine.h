#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace glimmora {

/// One request the command line sends to the running Glimmora.
struct ControlRequest {
    enum class Kind { showMenu, get, set, applyProfile, quit };
    Kind kind = Kind::showMenu;
    QString name;   ///< the setting (get, set) or the profile (applyProfile)
    QString value;  ///< set only: the value as text
    bool operator==(const ControlRequest&) const = default;
};

/// What the program was asked to do by its arguments.
struct CommandLine {
    enum class Mode {
        launch,      ///< no arguments: run the overlay
        control,     ///< send `requests` to the running Glimmora, in order
        help,        ///< print helpText() and leave
        version,     ///< print the version and leave
        usageError,  ///< print `error` and leave with status 2
    };
    Mode mode = Mode::launch;
    std::vector<ControlRequest> requests;
    QString error;
    /// launch only: the camera gaze tracking reads (a V4L2 device node or a video file);
    /// empty = the first video capture device.
    QString cameraPath;
};

/// Reads the arguments after the program name: --menu, --set NAME=VALUE, --get NAME,
/// --profile NAME, --quit (any number, sent in order), --help, --version, and --camera PATH,
/// which only goes with a launch; an option's value may follow it or be joined with "=". Names
/// and values are checked later, against the store.
CommandLine parseCommandLine(const QStringList& arguments);

/// The text of --help.
QString helpText();

}  // namespace glimmora
