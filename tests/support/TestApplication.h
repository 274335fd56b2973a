#pragma once

#include <QCoreApplication>

namespace glimmora::test {

/// The one Qt application object of a test program (socket notifiers and timers need it),
/// created on first use and kept for the program's life.
inline QCoreApplication& testApplication() {
    static int argc = 1;
    static char name[] = "glimmora-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* const app = QCoreApplication::instance()
                                             ? QCoreApplication::instance()
                                             : new QCoreApplication(argc, argv);
    return *app;
}

/// Handles whatever Qt events are pending (socket notifiers, zero timers).
inline void pumpQtEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace glimmora::test
