// glimmora-render's command line and offline render in process, then run as a program, always
// without a display server.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>
#include <vector>

#include "RenderOptions.h"
#include "support/TestApplication.h"

namespace glimmora {
namespace {

TEST(RenderOptionsTest, ReadsGoodCommandLinesAndNamesTheProblemInBadOnes) {
    const QStringList io{"--input", "i.png", "--output", "o.png"};
    RenderOptions every;
    every.inputPath = "i.png";
    every.outputPath = "o.png";
    every.settingsPath = "g.conf";
    every.overrides = {{"isFocusEnabled", "true"}};
    every.mouse = NormalizedPoint{0.25f, 0.75f};
    every.caret = NormalizedPoint{0.1f, 0.2f};
    every.window = Rect{0.1, 0.2, 0.5, 0.6};
    every.gazeY = 0.3f;
    every.explosion = ExplosionOption{{0.4f, 0.6f}, 0.25};
    every.time = 12.5;
    // Good lines give options; bad ones give one line naming the problem.
    const std::vector<std::tuple<QStringList, std::optional<RenderOptions>, const char*>> cases{
        {io + QStringList{"--settings", "g.conf", "--set", "isFocusEnabled=true", "--mouse",
                          "0.25,0.75", "--caret", "0.1,0.2", "--window", "0.1,0.2,0.5,0.6",
                          "--gaze", "0.3", "--explosion", "0.4,0.6,0.25", "--time", "12.5"},
         every, ""},
        {{"--input", "i.png"}, {}, "missing --output"},
        {io + QStringList{"-x"}, {}, "unknown option \"-x\""},
        {io + QStringList{"stray"}, {}, "unexpected argument \"stray\""},
        {io + QStringList{"--set", "noSuchSetting=1"}, {}, "unknown setting \"noSuchSetting\""},
        {io + QStringList{"--set", "breathPacerStyle=1.5"}, {}, "breathPacerStyle"},
        {io + QStringList{"--mouse", "-0.1,0.5"}, {}, "--mouse expects X,Y"},
        {io + QStringList{"--time", "1s"}, {}, "--time expects a time in seconds"},
    };
    for (const auto& [arguments, options, error] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const ParsedCommandLine parsed = parseRenderCommandLine(arguments);
        EXPECT_EQ(parsed.options, options);
        EXPECT_FALSE(parsed.isHelpRequested);
        EXPECT_TRUE(parsed.error.contains(QLatin1String(error))) << parsed.error.toStdString();
        EXPECT_FALSE(parsed.error.contains('\n'));
    }
    // Help is answered as soon as it is met, whatever follows.
    EXPECT_TRUE(parseRenderCommandLine(io + QStringList{"--help", "-x"}).isHelpRequested);
}

/// A temporary folder holding the desktop picture in.png: a 67 × 41 gradient (an odd size, so
/// row padding or a transposed read-back would show) with a grey patch that dims plainly.
class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        for (int y = 0; y < input_.height(); ++y) {
            for (int x = 0; x < input_.width(); ++x) {
                const bool patch = x >= 20 && x < 40 && y >= 10 && y < 30;
                input_.setPixel(x, y, patch ? qRgb(200, 200, 200) : qRgb(x * 3, y * 6, 255 - x));
            }
        }
        ASSERT_TRUE(input_.save(path("in.png")));
    }

    QString path(const QString& name) const { return dir_.filePath(name); }
    QString write(const QString& name, const QByteArray& text) const {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        return file.fileName();
    }
    QStringList entries() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }
    /// What a run wrote to out.png, or a null picture.
    QImage output() const { return QImage(path("out.png")).convertToFormat(QImage::Format_RGB32); }
    int outputGrey() const { return qGreen(output().pixel(30, 20)); }
    /// The desktop picture's PNG cut off halfway.
    QString truncatedPicture() const {
        QFile png(path("in.png"));
        EXPECT_TRUE(png.open(QIODevice::ReadOnly));
        return write("cut.png", png.readAll().left(png.size() / 2));
    }

    struct Run {
        int exitCode = -1;
        QByteArray err;
    };
    /// Runs glimmora-render; a run that does not end, or crashes, reads as exit code -1.
    static Run render(const QStringList& arguments, const QStringList& environment) {
        test::testApplication();  // QProcess's bookkeeping wants one; no event loop runs
        QProcess process;
        QStringList variables = QProcess::systemEnvironment() + environment;
        variables.removeIf([](const QString& v) {
            return v.startsWith("DISPLAY=") || v.startsWith("WAYLAND_DISPLAY=");
        });
        process.setEnvironment(variables);
        process.start(QStringLiteral(GLIMMORA_RENDER_PATH), arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            return {};  // the process object kills it
        }
        return {process.exitCode(), process.readAllStandardError()};
    }

    QTemporaryDir dir_;
    QImage input_{67, 41, QImage::Format_RGB32};
};

TEST_F(ToolsTest, RendersWithTheSettingsItIsGivenExitsWithItsStatusAndOneLineSayingWhy) {
    // A hand-edited file, comment included, that glimmora-render only ever reads.
    const QByteArray dimmer =
        "# darker\n[General]\nisOverlayEnabled=true\nisScreenDimmerEnabled=true\n"
        "screenBrightness=-0.5\n";
    const QString settings = write("glimmora.conf", dimmer);
    const QDateTime modified = QFileInfo(settings).lastModified();
    // Without "isOverlayEnabled" nothing counts as saved: every default stands.
    const QString firstLaunch =
        write("first.conf", "[General]\nisScreenDimmerEnabled=true\nscreenBrightness=-0.5\n");
    const QStringList io{"--input", path("in.png"), "--output", path("out.png")};
    const QStringList dim{"--set", "isScreenDimmerEnabled=true", "--set", "screenBrightness=-0.5"};
    // Where the EGL dispatch library finds no vendor library, no context can be made.
    const QStringList noOpenGl{"__EGL_VENDOR_LIBRARY_FILENAMES=" + path("none.json"),
                               "__EGL_VENDOR_LIBRARY_DIRS=" + path("none")};
    enum Shown { kDimmed = 100, kUnchanged = 200 };  // the grey patch, when written
    const std::tuple<QStringList, QStringList, int, Shown> cases[] = {
        {io, {}, 0, kUnchanged},
        {io + dim, {}, 0, kDimmed},
        {io + dim + QStringList{"--set", "isOverlayEnabled=false"}, {}, 0, kUnchanged},
        {io + QStringList{"--settings", settings}, {}, 0, kDimmed},
        {io + QStringList{"--settings", firstLaunch}, {}, 0, kUnchanged},
        {io + QStringList{"--settings", settings, "--set", "isScreenDimmerEnabled=false"},
         {},
         0,
         kUnchanged},
        {io + QStringList{"--settings", path("in.png")}, {}, 2, {}},  // not a settings file
        {io, noOpenGl, 1, {}},
        // A cut-off picture: the image library's own complaint goes into our one line.
        {{"--input", truncatedPicture(), "--output", path("out.png")}, {}, 2, {}},
        {{"--input", path("in.png"), "--output", path("no/out.png")}, {}, 2, {}},
    };
    for (const auto& [arguments, environment, exitCode, shown] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString() + " " + environment.join(' ').toStdString());
        QFile::remove(path("out.png"));
        const QStringList before = entries();
        const Run r = render(arguments, environment);
        EXPECT_EQ(r.exitCode, exitCode);
        if (exitCode == 0) {
            EXPECT_NEAR(outputGrey(), shown, 1);
            EXPECT_TRUE(shown == kDimmed || output() == input_) << "not the picture as it was";
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(entries(), before) << "nothing written, not even a temporary file";
            EXPECT_TRUE(r.err.startsWith("glimmora-render: ")) << r.err.toStdString();
            EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
            EXPECT_TRUE(r.err.endsWith('\n'));
        }
    }
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), dimmer);
    EXPECT_EQ(QFileInfo(settings).lastModified(), modified);
}

}  // namespace
}  // namespace glimmora
