// End-to-end runs of the glimmora-render executable, always without a display server.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ProcessResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

int maxChannelDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int largest = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)),
                                std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return largest;
}

class GlimmoraRenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // QProcess wants an application object for its bookkeeping; no event loop runs.
        static int argc = 1;
        static char name[] = "GlimmoraRenderTest";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
    }

    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // An odd size, so row padding or a transposed read-back would show.
        QImage input(67, 41, QImage::Format_RGB32);
        for (int y = 0; y < input.height(); ++y) {
            for (int x = 0; x < input.width(); ++x) {
                input.setPixel(x, y, qRgb(x * 3, y * 6, 255 - x * 2));
            }
        }
        // A grey patch whose dimming is easy to judge.
        for (int y = 10; y < 30; ++y) {
            for (int x = 20; x < 40; ++x) {
                input.setPixel(x, y, qRgb(200, 200, 200));
            }
        }
        input_ = input;
        ASSERT_TRUE(input.save(path("in.png")));
    }

    QString path(const QString& name) const { return dir_.filePath(name); }

    ProcessResult run(const QStringList& arguments, const QProcessEnvironment& extra = {}) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        for (const QString& key : extra.keys()) {
            environment.insert(key, extra.value(key));
        }
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(GLIMMORA_RENDER_PATH), arguments);
        if (!process.waitForFinished(60000)) {
            ADD_FAILURE() << "glimmora-render did not finish";
            process.kill();
            process.waitForFinished();
            return {};
        }
        ProcessResult result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    /// Renders in.png to `output` with `extra` arguments; fails the test unless it succeeds.
    QImage render(const QString& output, const QStringList& extra = {}) const {
        const ProcessResult r =
            run(QStringList{"--input", path("in.png"), "--output", path(output)} + extra);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QImage(path(output));
    }

    QString writeSettings(const QString& name, const QByteArray& text) const {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName();
    }

    QStringList entries() const {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir dir_;
    QImage input_;
};

void expectOneErrorLine(const ProcessResult& r) {
    EXPECT_TRUE(r.err.startsWith("glimmora-render: ")) << r.err.toStdString();
    EXPECT_TRUE(r.err.endsWith('\n'));
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
}

TEST_F(GlimmoraRenderTest, WritesAPictureOfTheInputSize) {
    const QImage output = render("out.png");
    ASSERT_FALSE(output.isNull());
    EXPECT_EQ(output.size(), input_.size());
}

TEST_F(GlimmoraRenderTest, EverythingOffGivesTheInputBack) {
    const QImage output = render("out.png");
    ASSERT_EQ(output.size(), input_.size());
    EXPECT_LE(maxChannelDifference(output, input_), 1);
}

TEST_F(GlimmoraRenderTest, OverlaySwitchedOffWritesTheInputUnchanged) {
    const QImage output =
        render("out.png", {"--set", "isOverlayEnabled=false", "--set", "isScreenDimmerEnabled=true",
                           "--set", "screenBrightness=-0.5"});
    EXPECT_EQ(maxChannelDifference(output, input_), 0);
}

TEST_F(GlimmoraRenderTest, DimmerSettingDarkensThePicture) {
    const QImage output = render(
        "out.png", {"--set", "isScreenDimmerEnabled=true", "--set", "screenBrightness=-0.5"});
    ASSERT_EQ(output.size(), input_.size());
    // Loosely "about half": how exactly the shader dims is the shader's own tests' business.
    const QRgb grey = output.pixel(30, 20);
    EXPECT_GT(qGreen(grey), 40);
    EXPECT_LT(qGreen(grey), 160);
}

TEST_F(GlimmoraRenderTest, SettingsFileIsAppliedAndLeftByteForByte) {
    const QByteArray text =
        "[General]\nisOverlayEnabled=true\nisScreenDimmerEnabled=true\nscreenBrightness=-0.5\n";
    const QString settings = writeSettings("glimmora.conf", text);
    const QDateTime modified = QFileInfo(settings).lastModified();
    const QStringList before = entries();

    const QImage fromFile = render("file.png", {"--settings", settings});
    const QImage fromSet = render(
        "set.png", {"--set", "isScreenDimmerEnabled=true", "--set", "screenBrightness=-0.5"});
    EXPECT_EQ(maxChannelDifference(fromFile, fromSet), 0);
    EXPECT_LT(qGreen(fromFile.pixel(30, 20)), 160) << "the file's dimmer was not applied";

    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), text);
    EXPECT_EQ(QFileInfo(settings).lastModified(), modified);
    QStringList expected = before + QStringList{"file.png", "set.png"};
    expected.sort();
    EXPECT_EQ(entries(), expected) << "no lock or temp files";
}

TEST_F(GlimmoraRenderTest, SettingsFileFollowsTheLoadRules) {
    // Without "isOverlayEnabled" nothing counts as saved: every default stands.
    const QString firstLaunch = writeSettings(
        "first.conf", "[General]\nisScreenDimmerEnabled=true\nscreenBrightness=-0.5\n");
    const QImage plain = render("plain.png");
    EXPECT_EQ(maxChannelDifference(render("first.png", {"--settings", firstLaunch}), plain), 0);
}

TEST_F(GlimmoraRenderTest, SetOverridesTheSettingsFile) {
    const QString settings = writeSettings(
        "glimmora.conf",
        "[General]\nisOverlayEnabled=true\nisScreenDimmerEnabled=true\nscreenBrightness=-0.5\n");
    const QImage plain = render("plain.png");
    const QImage overridden =
        render("out.png", {"--settings", settings, "--set", "isScreenDimmerEnabled=false"});
    EXPECT_EQ(maxChannelDifference(overridden, plain), 0);
}

TEST_F(GlimmoraRenderTest, DrawsWithEveryTrackerReading) {
    const QImage output = render(
        "out.png", {"--mouse", "0.2,0.3", "--caret", "0.6,0.4", "--window", "0.1,0.1,0.5,0.5",
                    "--gaze", "0.7", "--explosion", "0.5,0.5,0.1", "--time", "3.25"});
    EXPECT_EQ(output.size(), input_.size());
}

struct Failing {
    const char* what;
    QStringList arguments;  // after --input and --output, unless `replacesFiles`
    bool replacesFiles = false;
};

TEST_F(GlimmoraRenderTest, BadInputExitsTwoWithOneLineAndWritesNothing) {
    writeSettings("not-a-picture.png", "hello");
    QDir(dir_.path()).mkdir("folder");
    const std::vector<Failing> cases{
        {"unknown option", {"--frobnicate", "1"}},
        {"unknown property", {"--set", "noSuchSetting=1"}},
        {"unparsable value", {"--set", "screenBrightness=dark"}},
        {"bad number", {"--mouse", "0.5,x"}},
        {"missing settings file", {"--settings", path("missing.conf")}},
        {"settings path is a folder", {"--settings", path("folder")}},
        {"missing input", {"--input", path("missing.png"), "--output", path("out.png")}, true},
        {"input not a picture",
         {"--input", path("not-a-picture.png"), "--output", path("out.png")},
         true},
        {"output folder missing",
         {"--input", path("in.png"), "--output", path("no/out.png")},
         true},
        {"missing --output", {"--input", path("in.png")}, true},
    };
    for (const Failing& c : cases) {
        SCOPED_TRACE(c.what);
        const QStringList before = entries();
        const QStringList arguments =
            c.replacesFiles
                ? c.arguments
                : QStringList{"--input", path("in.png"), "--output", path("out.png")} + c.arguments;
        const ProcessResult r = run(arguments);
        EXPECT_EQ(r.exitCode, 2);
        expectOneErrorLine(r);
        EXPECT_EQ(entries(), before);
    }
}

TEST_F(GlimmoraRenderTest, FailureLeavesAnEarlierOutputAlone) {
    const QString output = writeSettings("out.png", "earlier");
    const ProcessResult r = run({"--input", path("in.png"), "--output", output, "--set", "nope=1"});
    EXPECT_EQ(r.exitCode, 2);
    QFile file(output);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "earlier");
}

TEST_F(GlimmoraRenderTest, NoOpenGLExitsOneAndWritesNothing) {
    QProcessEnvironment noDriver;
    // The EGL dispatch library finds no vendor library, so no context can be made.
    noDriver.insert("__EGL_VENDOR_LIBRARY_FILENAMES", path("no-such-vendor.json"));
    noDriver.insert("__EGL_VENDOR_LIBRARY_DIRS", path("no-such-folder"));
    const QStringList before = entries();
    const ProcessResult r = run({"--input", path("in.png"), "--output", path("out.png")}, noDriver);
    EXPECT_EQ(r.exitCode, 1);
    expectOneErrorLine(r);
    EXPECT_EQ(entries(), before);
}

TEST_F(GlimmoraRenderTest, HelpPrintsUsageAndSucceeds) {
    const ProcessResult r = run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("Usage: glimmora-render")) << r.out.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
}

}  // namespace
