// glimmora-sample-desktop OUTPUT.png: paints the sample desktop the effect gallery is made of.

#include <QGuiApplication>
#include <QSaveFile>
#include <cstdio>

#include "SampleDesktop.h"

namespace {

constexpr const char* kUsage =
    "Usage: glimmora-sample-desktop OUTPUT.png\n"
    "\n"
    "Paints a 1280x720 sample desktop (wallpaper, a text document, a chart with red and green\n"
    "pairs, colour swatches, a terminal) as a PNG. Needs no display server.\n";

int fail(const QString& message) {
    std::fputs(("glimmora-sample-desktop: " + message + "\n").toLocal8Bit().constData(), stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // Fonts need a GUI application, but nothing is ever shown: never ask for a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.size() != 1 || arguments[0].startsWith(QLatin1Char('-'))) {
        return fail(QStringLiteral("expects one argument, the PNG to write (see --help)"));
    }
    QSaveFile output(arguments[0]);
    if (!output.open(QIODevice::WriteOnly) ||
        !glimmora::paintSampleDesktop().save(&output, "PNG") || !output.commit()) {
        return fail(
            QStringLiteral("cannot write \"%1\": %2").arg(arguments[0], output.errorString()));
    }
    return 0;
}
