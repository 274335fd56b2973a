#include "OfflineRender.h"

#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "core/Log.h"
#include "platform/egl/EglOffscreenContext.h"
#include "platform/gl/GlApi.h"
#include "render/OffscreenTarget.h"
#include "render/OverlayRenderer.h"
#include "settings/AppState.h"
#include "settings/IniUserDefaults.h"
#include "settings/MemoryUserDefaults.h"
#include "settings/SettingsByName.h"
#include "settings/SettingsFile.h"

namespace glimmora {

namespace {

// What the target holds before the draw. The renderer clears to transparent black before it
// draws, so a target still holding this colour everywhere was never drawn into.
constexpr QRgb kNotDrawn = qRgba(0x12, 0x34, 0x56, 0x78);

// The largest side of a texture that any common OpenGL driver takes (Mesa's llvmpipe included),
// and room to decode and convert a picture that size at four bytes a pixel.
constexpr int kLargestPicture = 16384;
constexpr int kAllocationLimitMegabytes = 1100;

RenderResult failure(RenderExit status, QString error) {
    return {status, std::move(error)};
}

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

/// Collects what libraries print while it lives, instead of letting it reach the user: Qt
/// warnings and whatever is written to standard error. Single-threaded use only.
class LibraryMessages {
public:
    explicit LibraryMessages(QStringList* messages) : messages_(messages) {
        current_ = messages;
        previousHandler_ = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) {
                current_->append(message.trimmed());
            });
        std::fflush(stderr);
        captured_ = std::tmpfile();
        savedStderr_ = captured_ != nullptr ? dup(STDERR_FILENO) : -1;
        if (savedStderr_ >= 0) {
            dup2(fileno(captured_), STDERR_FILENO);
        }
    }
    ~LibraryMessages() {
        std::fflush(stderr);
        if (savedStderr_ >= 0) {
            dup2(savedStderr_, STDERR_FILENO);
            close(savedStderr_);
            std::rewind(captured_);
            char line[512];
            while (std::fgets(line, sizeof line, captured_) != nullptr) {
                const QString text = QString::fromLocal8Bit(line).trimmed();
                if (!text.isEmpty()) {
                    messages_->append(text);
                }
            }
        }
        if (captured_ != nullptr) {
            std::fclose(captured_);
        }
        qInstallMessageHandler(previousHandler_);
        current_ = nullptr;
    }
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;

private:
    static inline QStringList* current_ = nullptr;
    QStringList* messages_;
    QtMessageHandler previousHandler_ = nullptr;
    std::FILE* captured_ = nullptr;
    int savedStderr_ = -1;
};

/// The desktop picture as the capture would deliver it: opaque 32-bit.
std::optional<QImage> readPicture(const QString& path, QString* error) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        *error = QStringLiteral("cannot read input picture %1: %2")
                     .arg(quoted(path), info.exists() ? QStringLiteral("not a file")
                                                      : QStringLiteral("no such file"));
        return std::nullopt;
    }
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.width() > kLargestPicture || size.height() > kLargestPicture) {
        *error = QStringLiteral(
                     "cannot read input picture %1: it is %2x%3, larger than any "
                     "OpenGL texture (%4)")
                     .arg(quoted(path))
                     .arg(size.width())
                     .arg(size.height())
                     .arg(kLargestPicture);
        return std::nullopt;
    }
    // Qt's own limit (256 MB) stops well below the largest texture a driver takes.
    reader.setAllocationLimit(kAllocationLimitMegabytes);
    // The image libraries report what went wrong on their own, through Qt's message handler or
    // straight to standard error (libpng's "Read Error"); we say it once, in our own line.
    QStringList messages;
    QImage picture;
    {
        const LibraryMessages library(&messages);
        picture = reader.read();
    }
    if (picture.isNull()) {
        const QString reason = messages.isEmpty()
                                   ? reader.errorString()
                                   : reader.errorString() + QStringLiteral(" (") +
                                         messages.join(QStringLiteral("; ")) + QLatin1Char(')');
        *error = QStringLiteral("cannot read input picture %1: %2").arg(quoted(path), reason);
        return std::nullopt;
    }
    return picture.convertToFormat(QImage::Format_RGB32);
}

/// The loader itself reads a missing or unreadable file as "nothing saved" and carries on with
/// the defaults; a tool asked for a particular file must say so instead.
bool isReadableSettingsFile(const QString& path, QString* error) {
    const SettingsFile::Contents contents = SettingsFile::read(path);
    if (contents.status == SettingsFile::Contents::Status::Missing) {
        *error = QStringLiteral("cannot read settings file %1: no such file").arg(quoted(path));
        return false;
    }
    if (contents.status != SettingsFile::Contents::Status::Read) {
        *error =
            QStringLiteral("cannot read settings file %1: %2").arg(quoted(path), contents.problem);
        return false;
    }
    // Settings files are short UTF-8 text; a picture or other binary file is none, even though
    // the INI reader would make something of it.
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(contents.text);
    if (text.contains(QChar(0)) || utf8.hasError()) {
        *error = QStringLiteral("cannot read settings file %1: not in the settings format")
                     .arg(quoted(path));
        return false;
    }
    return true;
}

/// The tracker readings and renderer state of a settled frame at `options.time`.
void applyFrameOptions(const RenderOptions& options, OverlayRenderer& renderer) {
    FrameInputs& readings = renderer.trackerReadings();
    RendererState& state = renderer.rendererState();
    if (options.mouse) {
        readings.mouse = {options.mouse->x, options.mouse->y};
    }
    if (options.caret) {
        readings.caret = {options.caret->x, options.caret->y, true};
    }
    if (options.window) {
        readings.window = {true, *options.window};
    }
    if (options.gazeY) {
        readings.gaze = {true, *options.gazeY};
    }
    // Nothing has moved: the pointers were already where they are, so the renderer's start-up
    // preference for the caret decides which one leads.
    state.lastMouseY = readings.mouse.normalizedY;
    state.lastCursorY = readings.caret.normalizedY;
    if (options.explosion) {
        state.currentExplosion = Explosion{options.explosion->center.x, options.explosion->center.y,
                                           options.time - options.explosion->age};
    }
}

bool wasDrawn(const QImage& frame) {
    for (int y = 0; y < frame.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); ++x) {
            if (row[x] != kNotDrawn) {
                return true;
            }
        }
    }
    return false;
}

/// Draws the frame and returns what the screen shows, or nothing with `error` set.
std::optional<QImage> drawFrame(AppState& settings, const RenderOptions& options,
                                const QImage& desktop, QString* error) {
    QString contextError;
    const std::unique_ptr<EglOffscreenContext> context = EglOffscreenContext::create(&contextError);
    if (!context) {
        *error = QStringLiteral("no OpenGL context: ") + contextError;
        return std::nullopt;
    }
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    if (desktop.width() > largest || desktop.height() > largest) {
        *error = QStringLiteral("the picture is %1x%2, larger than this OpenGL allows (%3)")
                     .arg(desktop.width())
                     .arg(desktop.height())
                     .arg(largest);
        return std::nullopt;
    }

    const double time = options.time;
    OverlayRenderer renderer(settings, [time] { return time; });
    if (renderer.isPaused()) {
        logLine("glimmora-render: the overlay is switched off; the picture stays as it is");
        return desktop;
    }
    renderer.initialize();
    applyFrameOptions(options, renderer);
    renderer.handOver().submit(desktop);

    const OffscreenTarget target(desktop.size());
    glBindFramebuffer(GL_FRAMEBUFFER, target.target().framebuffer);
    glClearColor(qRed(kNotDrawn) / 255.0f, qGreen(kNotDrawn) / 255.0f, qBlue(kNotDrawn) / 255.0f,
                 qAlpha(kNotDrawn) / 255.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    renderer.draw(target.target());
    const QImage frame = target.read();
    if (!wasDrawn(frame)) {
        *error = QStringLiteral("nothing was drawn (the renderer's message says why)");
        return std::nullopt;
    }
    return compositeOverDesktop(frame, desktop);
}

}  // namespace

QImage compositeOverDesktop(const QImage& frame, const QImage& desktop) {
    const QImage over = frame.convertToFormat(QImage::Format_ARGB32);
    QImage result = desktop.convertToFormat(QImage::Format_RGB32);
    const auto blend = [](int overlay, int below, int alpha) {
        return overlay + (below * (255 - alpha) + 127) / 255;
    };
    for (int y = 0; y < result.height(); ++y) {
        const auto* top = reinterpret_cast<const QRgb*>(over.constScanLine(y));
        auto* pixel = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const int a = qAlpha(top[x]);
            // A premultiplied colour never exceeds its alpha; clamp what rounding may leave.
            pixel[x] = qRgb(std::min(255, blend(qRed(top[x]), qRed(pixel[x]), a)),
                            std::min(255, blend(qGreen(top[x]), qGreen(pixel[x]), a)),
                            std::min(255, blend(qBlue(top[x]), qBlue(pixel[x]), a)));
        }
    }
    return result;
}

RenderResult renderToFile(const RenderOptions& options) {
    QString error;
    const std::optional<QImage> desktop = readPicture(options.inputPath, &error);
    if (!desktop) {
        return failure(RenderExit::BadInput, error);
    }

    std::unique_ptr<UserDefaults> defaults;
    if (options.settingsPath) {
        if (!isReadableSettingsFile(*options.settingsPath, &error)) {
            return failure(RenderExit::BadInput, error);
        }
        // Read through the application's own loader; nothing here ever calls saveSettings().
        defaults = std::make_unique<IniUserDefaults>(*options.settingsPath);
    } else {
        defaults = std::make_unique<MemoryUserDefaults>();
    }
    AppState settings(*defaults);
    for (const SettingOverride& setting : options.overrides) {
        if (!setSettingFromText(settings, setting.name, setting.value, &error)) {
            return failure(RenderExit::BadInput, QStringLiteral("--set: ") + error);
        }
    }
    if (options.gazeY) {
        settings.isGazeTrackingEnabled = true;
    }

    // Opened before drawing so that an unusable output path is reported without the wait; the
    // file appears only at commit().
    QSaveFile output(options.outputPath);
    if (!output.open(QIODevice::WriteOnly)) {
        return failure(RenderExit::BadInput,
                       QStringLiteral("cannot write %1: %2")
                           .arg(quoted(options.outputPath), output.errorString()));
    }

    const std::optional<QImage> screen = drawFrame(settings, options, *desktop, &error);
    if (!screen) {
        output.cancelWriting();
        return failure(RenderExit::RenderingFailed, error);
    }
    if (!screen->save(&output, "PNG") || !output.commit()) {
        return failure(RenderExit::BadInput,
                       QStringLiteral("cannot write %1: %2")
                           .arg(quoted(options.outputPath), output.errorString()));
    }
    return {};
}

}  // namespace glimmora
