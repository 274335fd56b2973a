#include "app/CommandLine.h"

namespace glimmora {
namespace {

CommandLine only(CommandLine::Mode mode, const QString& error = QString()) {
    CommandLine result;
    result.mode = mode;
    result.error = error;
    return result;
}

CommandLine usageError(const QString& message) {
    return only(CommandLine::Mode::usageError,
                QStringLiteral("glimmora: %1 (see glimmora --help)").arg(message));
}

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString option = arguments[i];
        std::optional<QString> value;
        if (const qsizetype equals = option.indexOf(QLatin1Char('='));
            option.startsWith(QLatin1String("--")) && equals > 0) {
            value = option.mid(equals + 1);
            option.truncate(equals);
        }
        const auto takesValue = [&](const char* what) -> std::optional<QString> {
            if (!value && i + 1 < arguments.size()) {
                value = arguments[++i];
            }
            if (!value || value->isEmpty()) {
                result = usageError(option + QStringLiteral(" needs ") + QLatin1String(what));
                return std::nullopt;
            }
            return value;
        };
        const auto takesNoValue = [&] {
            if (value) {
                result = usageError(option + QStringLiteral(" takes no value"));
                return false;
            }
            return true;
        };

        if (option == QLatin1String("--help") || option == QLatin1String("-h")) {
            return only(CommandLine::Mode::help);
        }
        if (option == QLatin1String("--version")) {
            return only(CommandLine::Mode::version);
        }
        if (option == QLatin1String("--camera")) {
            const std::optional<QString> path = takesValue("a device or video file");
            if (!path) {
                return result;
            }
            result.cameraPath = *path;
            continue;
        }
        ControlRequest request;
        if (option == QLatin1String("--menu") || option == QLatin1String("--quit")) {
            if (!takesNoValue()) {
                return result;
            }
            request.kind = option == QLatin1String("--menu") ? ControlRequest::Kind::showMenu
                                                             : ControlRequest::Kind::quit;
        } else if (option == QLatin1String("--get") || option == QLatin1String("--profile")) {
            const std::optional<QString> name = takesValue("a name");
            if (!name) {
                return result;
            }
            request.kind = option == QLatin1String("--get") ? ControlRequest::Kind::get
                                                            : ControlRequest::Kind::applyProfile;
            request.name = *name;
        } else if (option == QLatin1String("--set")) {
            const std::optional<QString> assignment = takesValue("NAME=VALUE");
            if (!assignment) {
                return result;
            }
            const qsizetype equals = assignment->indexOf(QLatin1Char('='));
            if (equals <= 0) {
                return usageError(
                    QStringLiteral("--set needs NAME=VALUE, not \"%1\"").arg(*assignment));
            }
            request.kind = ControlRequest::Kind::set;
            request.name = assignment->left(equals);
            request.value = assignment->mid(equals + 1);
        } else {
            return usageError(QStringLiteral("unknown argument \"%1\"").arg(arguments[i]));
        }
        result.mode = CommandLine::Mode::control;
        result.requests.push_back(request);
    }
    if (result.mode == CommandLine::Mode::control && !result.cameraPath.isEmpty()) {
        return usageError(QStringLiteral("--camera only goes with starting Glimmora"));
    }
    return result;
}

QString helpText() {
    return QStringLiteral(
        "Usage: glimmora [OPTION]...\n"
        "Runs the Glimmora screen overlay on this display. With options, controls the Glimmora\n"
        "that already runs here instead (one runs per display); they run in the order given.\n"
        "\n"
        "  --menu              open Glimmora's menu at the mouse pointer (for desktops\n"
        "                      without a system tray)\n"
        "  --set NAME=VALUE    change a setting, as the menu would (it is saved)\n"
        "  --get NAME          print a setting's value\n"
        "  --profile NAME      apply a focus profile by its name\n"
        "  --quit              save the settings and quit\n"
        "  --camera PATH       start Glimmora with gaze tracking reading this camera: a video\n"
        "                      device such as /dev/video2 or a video file (default: the first\n"
        "                      video capture device)\n"
        "  --help              show this help\n"
        "  --version           show the version\n"
        "\n"
        "Setting names are those of the settings file, for example screenBrightness=-0.4,\n"
        "isScreenDimmerEnabled=true or focusModeEffect=3. A bad name or value changes nothing.\n"
        "Exit status: 0 done, 1 no Glimmora runs on this display, 2 a bad argument.\n");
}

}  // namespace glimmora
