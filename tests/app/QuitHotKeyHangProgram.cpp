// A program whose main thread hangs for good once the quit hot key is installed: what a stuck
// main loop looks like to the user. Only the hot key's own thread can end it.

#include <QCoreApplication>
#include <chrono>
#include <thread>

#include "core/Log.h"
#include "platform/x11/input/X11QuitHotKey.h"

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    glimmora::X11QuitHotKey hotKey;
    hotKey.install();
    glimmora::logLine("MAIN THREAD HANGING");
    for (;;) {
        std::this_thread::sleep_for(std::chrono::hours(1));
    }
}
