#include "RenderOptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "settings/SettingsByName.h"

namespace glimmora {

namespace {

QString quoted(QStringView text) {
    return QLatin1Char('"') + text.toString() + QLatin1Char('"');
}

/// Exactly `count` comma-separated finite decimal numbers, or nothing. from_chars takes no
/// locale, no whitespace and no "+", and refuses trailing text.
std::optional<QList<double>> parseNumbers(QStringView text, qsizetype count) {
    const QList<QStringView> parts = text.split(QLatin1Char(','));
    if (parts.size() != count) {
        return std::nullopt;
    }
    QList<double> numbers;
    for (QStringView part : parts) {
        const QByteArray bytes = part.toUtf8();
        const char* const end = bytes.constData() + bytes.size();
        double value = 0;
        const auto [ptr, ec] = std::from_chars(bytes.constData(), end, value);
        if (ec != std::errc() || ptr != end || !std::isfinite(value)) {
            return std::nullopt;
        }
        numbers.append(value);
    }
    return numbers;
}

bool isFraction(double value) {
    return value >= 0 && value <= 1;
}

/// Reads the options one by one into `options_`; the first problem ends the reading.
class CommandLineReader {
public:
    explicit CommandLineReader(const QStringList& arguments) : arguments_(arguments) {}

    ParsedCommandLine read() {
        ParsedCommandLine result;
        for (index_ = 0; index_ < arguments_.size(); ++index_) {
            const QString& argument = arguments_[index_];
            if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
                result.isHelpRequested = true;
                return result;
            }
            if (!argument.startsWith(QLatin1Char('-'))) {
                result.error = QStringLiteral("unexpected argument %1").arg(quoted(argument));
                return result;
            }
            if (!readOption(argument, &result.error)) {
                return result;
            }
        }
        if (options_.inputPath.isEmpty()) {
            result.error = QStringLiteral("missing --input");
        } else if (options_.outputPath.isEmpty()) {
            result.error = QStringLiteral("missing --output");
        } else {
            result.options = options_;
        }
        return result;
    }

private:
    /// One option and its value. False with `error` set when it is unknown or wrong.
    bool readOption(const QString& argument, QString* error) {
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? argument : argument.left(equals);
        if (!kOptionNames.contains(name)) {
            *error = QStringLiteral("unknown option %1").arg(quoted(name));
            return false;
        }
        QString value;
        if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (index_ + 1 < arguments_.size() &&
                   !arguments_[index_ + 1].startsWith(QLatin1String("--"))) {
            value = arguments_[++index_];
        }
        if (value.isEmpty()) {
            *error = QStringLiteral("%1 needs a value").arg(name);
            return false;
        }
        if (!seen_.contains(name)) {
            seen_.append(name);
        } else if (name != QLatin1String("--set")) {
            *error = QStringLiteral("%1 given twice").arg(name);
            return false;
        }
        const QString problem = apply(name, value);
        if (!problem.isEmpty()) {
            *error = problem;
            return false;
        }
        return true;
    }

    /// Stores one option's value; returns what is wrong with it, or nothing.
    QString apply(const QString& name, const QString& value) {
        const auto expects = [&](const char* form) {
            return QStringLiteral("%1 expects %2, got %3")
                .arg(name, QLatin1String(form), quoted(value));
        };
        if (name == QLatin1String("--input")) {
            options_.inputPath = value;
        } else if (name == QLatin1String("--output")) {
            options_.outputPath = value;
        } else if (name == QLatin1String("--settings")) {
            options_.settingsPath = value;
        } else if (name == QLatin1String("--set")) {
            const qsizetype equals = value.indexOf(QLatin1Char('='));
            if (equals <= 0) {
                return expects("NAME=VALUE");
            }
            SettingOverride setting{value.left(equals), value.mid(equals + 1)};
            QString problem;
            if (!isValidSettingText(setting.name, setting.value, &problem)) {
                return QStringLiteral("--set: ") + problem;
            }
            options_.overrides.append(std::move(setting));
        } else if (name == QLatin1String("--mouse") || name == QLatin1String("--caret")) {
            const auto n = parseNumbers(value, 2);
            if (!n || !isFraction((*n)[0]) || !isFraction((*n)[1])) {
                return expects("X,Y, each from 0 to 1");
            }
            const NormalizedPoint point{static_cast<float>((*n)[0]), static_cast<float>((*n)[1])};
            (name == QLatin1String("--mouse") ? options_.mouse : options_.caret) = point;
        } else if (name == QLatin1String("--window")) {
            const auto n = parseNumbers(value, 4);
            if (!n || !std::all_of(n->begin(), n->end(), isFraction)) {
                return expects("X,Y,W,H, each from 0 to 1");
            }
            options_.window = Rect{(*n)[0], (*n)[1], (*n)[2], (*n)[3]};
        } else if (name == QLatin1String("--gaze")) {
            const auto n = parseNumbers(value, 1);
            if (!n || !isFraction((*n)[0])) {
                return expects("Y from 0 to 1");
            }
            options_.gazeY = static_cast<float>((*n)[0]);
        } else if (name == QLatin1String("--explosion")) {
            const auto n = parseNumbers(value, 3);
            if (!n || !isFraction((*n)[0]) || !isFraction((*n)[1]) || (*n)[2] < 0) {
                return expects("X,Y,AGE with X and Y from 0 to 1 and AGE seconds, not negative");
            }
            options_.explosion = ExplosionOption{
                {static_cast<float>((*n)[0]), static_cast<float>((*n)[1])}, (*n)[2]};
        } else if (name == QLatin1String("--time")) {
            const auto n = parseNumbers(value, 1);
            // The shader gets the time in single precision; beyond it the frame is meaningless.
            if (!n || !std::isfinite(static_cast<float>((*n)[0]))) {
                return expects("a time in seconds");
            }
            options_.time = (*n)[0];
        }
        return {};
    }

    inline static const QStringList kOptionNames{
        QStringLiteral("--input"),  QStringLiteral("--output"), QStringLiteral("--settings"),
        QStringLiteral("--set"),    QStringLiteral("--mouse"),  QStringLiteral("--caret"),
        QStringLiteral("--window"), QStringLiteral("--gaze"),   QStringLiteral("--explosion"),
        QStringLiteral("--time"),
    };

    const QStringList& arguments_;
    qsizetype index_ = 0;
    QStringList seen_;
    RenderOptions options_;
};

}  // namespace

ParsedCommandLine parseRenderCommandLine(const QStringList& arguments) {
    return CommandLineReader(arguments).read();
}

QString renderUsage() {
    return QStringLiteral(
        "Usage: glimmora-render --input IN.png --output OUT.png [options]\n"
        "\n"
        "Draws one frame of the Glimmora overlay over a desktop picture, offscreen (no display\n"
        "server needed), and writes what the screen would show as a PNG of the same size.\n"
        "\n"
        "  --input FILE         the desktop picture (PNG or any format Qt reads)\n"
        "  --output FILE        the PNG to write; nothing is written when anything fails\n"
        "  --settings FILE      settings file in Glimmora's own format, loaded as at launch\n"
        "                       and never written; without it every setting has its default\n"
        "  --set NAME=VALUE     sets one setting by its property name after loading;\n"
        "                       repeatable, applied in order. Switches true or false, Int\n"
        "                       settings integers, Float settings decimals, activeProfileName\n"
        "                       text, focusProfiles a JSON array of profiles\n"
        "  --mouse X,Y          the mouse pointer (default 0.5,0.5)\n"
        "  --caret X,Y          a text caret known at X,Y\n"
        "  --window X,Y,W,H     a frontmost window with these bounds\n"
        "  --gaze Y             a face detected looking at height Y; turns gaze tracking on\n"
        "  --explosion X,Y,AGE  a click explosion at X,Y, born AGE seconds before the frame\n"
        "  --time T             the frame time in seconds (default 0)\n"
        "  -h, --help           shows this text\n"
        "\n"
        "Positions and sizes are fractions of the picture, 0 to 1, x from the left edge and\n"
        "y from the top. Options take their value as the next argument or after '='.\n"
        "\n"
        "Exit status: 0 written, 1 rendering failed, 2 bad arguments or an unreadable or\n"
        "unwritable file.\n");
}

}  // namespace glimmora
