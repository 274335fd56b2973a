#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "render/FrameInputs.h"

namespace glimmora {

/// glimmora-render's exit statuses.
enum class RenderExit {
    Success = 0,
    RenderingFailed = 1,  ///< no OpenGL context, no shader pipeline, nothing drawn
    BadInput = 2,         ///< bad arguments, a missing or unreadable file, an unusable output
};

/// A normalised position: fractions of the picture, x from the left, y from the top.
struct NormalizedPoint {
    float x = 0;
    float y = 0;
    bool operator==(const NormalizedPoint&) const = default;
};

/// One `--set NAME=VALUE`, kept as text until the settings are loaded.
struct SettingOverride {
    QString name;
    QString value;
    bool operator==(const SettingOverride&) const = default;
};

/// A click explosion `age` seconds old at the frame time.
struct ExplosionOption {
    NormalizedPoint center;
    double age = 0;
    bool operator==(const ExplosionOption&) const = default;
};

/// What one glimmora-render run draws: the files, the settings overrides and what the trackers
/// would report for the frame. Absent readings keep the trackers' starting values.
struct RenderOptions {
    QString inputPath;
    QString outputPath;
    std::optional<QString> settingsPath;
    /// In command-line order; later ones win. Names and values are already checked.
    QList<SettingOverride> overrides;
    std::optional<NormalizedPoint> mouse;
    std::optional<NormalizedPoint> caret;
    std::optional<Rect> window;
    std::optional<float> gazeY;
    std::optional<ExplosionOption> explosion;
    double time = 0;  // frame time, seconds

    bool operator==(const RenderOptions&) const = default;
};

/// The outcome of reading the command line: options to render with, a request for the usage
/// text, or one line saying what is wrong (without the program name).
struct ParsedCommandLine {
    std::optional<RenderOptions> options;
    bool isHelpRequested = false;
    QString error;

    /// BadInput for an error, Success otherwise.
    RenderExit exitStatus() const {
        return options || isHelpRequested ? RenderExit::Success : RenderExit::BadInput;
    }
};

/// Reads the arguments that follow the program name. Each option takes its value as the next
/// argument or after "=" (`--time 2` or `--time=2`). `--help` or `-h` asks for the usage text as
/// soon as it is met; before it, the first problem met is reported. Every `--set` is checked
/// against the settings' names and text forms here, so mistakes surface before any file is
/// opened.
ParsedCommandLine parseRenderCommandLine(const QStringList& arguments);

/// The usage text, ending in a line break.
QString renderUsage();

}  // namespace glimmora
