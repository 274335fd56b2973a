#include <QApplication>

#include "app/GlimmoraApp.h"
#include "app/InheritedDescriptors.h"
#include "app/TerminationSignals.h"

int main(int argc, char** argv) {
    glimmora::closeInheritedDescriptors();
    // Everything below the window layer speaks X11 (window ids, stacking, capture); under a
    // Wayland session the application runs through XWayland.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication::setApplicationName(QStringLiteral("glimmora"));
    QApplication application(argc, argv);
    // The overlay is hidden and shown by the menu; hiding it must not end the application.
    QApplication::setQuitOnLastWindowClosed(false);

    glimmora::GlimmoraApp app;
    // A kill or a Ctrl+C takes the normal terminate path, so the quit keys are released.
    glimmora::TerminationSignals terminationSignals([](int) { QCoreApplication::quit(); });
    app.launch();
    return QApplication::exec();
}
