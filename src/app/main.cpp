#include <QApplication>

#include "app/CommandLine.h"
#include "app/ControlClient.h"
#include "app/GlimmoraApp.h"
#include "app/InheritedDescriptors.h"
#include "app/InstanceGuard.h"
#include "app/TerminationSignals.h"
#include "platform/x11/connection/X11ConnectionLossGuard.h"

int main(int argc, char** argv) {
    glimmora::closeInheritedDescriptors();
    // Options control the Glimmora that already runs (or print help); only a bare launch goes on.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const glimmora::CommandLine commandLine = glimmora::parseCommandLine(arguments);
    if (commandLine.mode != glimmora::CommandLine::Mode::launch) {
        return glimmora::runCommandLine(commandLine, argc, argv);
    }

    // Everything below the window layer speaks X11 (window ids, stacking, capture); under a
    // Wayland session the application runs through XWayland.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication::setApplicationName(QStringLiteral("glimmora"));
    QApplication application(argc, argv);
    glimmora::endAtOnceWhenXlibLosesTheServer();
    // The overlay is hidden and shown by the menu; hiding it must not end the application.
    QApplication::setQuitOnLastWindowClosed(false);

    // One Glimmora per display: a second one leaves before it shows anything.
    glimmora::InstanceGuard instanceGuard;
    if (!instanceGuard.claim()) {
        return 0;
    }
    instanceGuard.onDisplayTaken = [] { QCoreApplication::quit(); };

    glimmora::GlimmoraApp app(commandLine.cameraPath);
    // A kill or a Ctrl+C takes the normal terminate path, so the quit keys are released.
    glimmora::TerminationSignals terminationSignals([](int) { QCoreApplication::quit(); });
    app.launch();
    return QApplication::exec();
}
