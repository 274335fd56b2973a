// Runs of the glimmora-sample-desktop executable, without a display server.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

namespace {

int runSampleDesktop(const QStringList& arguments) {
    static int argc = 1;
    static char name[] = "SampleDesktopTest";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(GLIMMORA_SAMPLE_DESKTOP_PATH), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    return process.exitCode();
}

TEST(SampleDesktopTest, PaintsTheSameBusyPictureEveryTime) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(runSampleDesktop({dir.filePath("a.png")}), 0);
    ASSERT_EQ(runSampleDesktop({dir.filePath("b.png")}), 0);
    const QImage a(dir.filePath("a.png"));
    EXPECT_EQ(a.size(), QSize(1280, 720));
    EXPECT_EQ(a, QImage(dir.filePath("b.png")));

    // Text, swatches and gradients: far more than a handful of colours, pure red and green among
    // the swatches' neighbours.
    QSet<QRgb> colours;
    for (int y = 0; y < a.height(); y += 3) {
        for (int x = 0; x < a.width(); x += 3) {
            colours.insert(a.pixel(x, y));
        }
    }
    EXPECT_GT(colours.size(), 1000);
}

TEST(SampleDesktopTest, RejectsAMissingOrExtraArgument) {
    QTemporaryDir dir;
    EXPECT_EQ(runSampleDesktop({}), 2);
    EXPECT_EQ(runSampleDesktop({dir.filePath("a.png"), dir.filePath("b.png")}), 2);
    EXPECT_EQ(runSampleDesktop({dir.filePath("missing/a.png")}), 2);
    EXPECT_EQ(runSampleDesktop({"--help"}), 0);
}

}  // namespace
