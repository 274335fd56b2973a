// One capture path feeding an overlay renderer for a fixed time, as the application wires it:
// `glimmora-bench-capture zero-copy|copying SECONDS [X_SERVER_PID]` on $DISPLAY. Prints
// "FRAMES CPU_SECONDS": the desktop pictures the draw took for display, and the CPU time this
// process used (capture thread, composition and upload; the draw itself is a tiny window with
// every effect off), plus the X server's over the same stretch when its process id is given.
#include <sys/resource.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>

#include "capture/CaptureStream.h"
#include "core/MonotonicClock.h"
#include "core/QtRepeatingTimer.h"
#include "core/QtScheduler.h"
#include "platform/x11/capture/GlxSceneCompositor.h"
#include "platform/x11/capture/X11CaptureService.h"
#include "render/OverlayRenderer.h"
#include "render/ScreenShaderView.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"

using namespace glimmora;

namespace {

// CPU seconds (user + system) of another process so far, from /proc; 0 when unreadable.
double cpuSecondsOf(long pid) {
    if (pid <= 0) {
        return 0;
    }
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        return 0;
    }
    char line[1024] = {};
    const size_t length = std::fread(line, 1, sizeof line - 1, file);
    std::fclose(file);
    line[length] = '\0';
    // Fields after the command name, which is in parentheses and may hold spaces.
    const char* rest = std::strrchr(line, ')');
    unsigned long user = 0;
    unsigned long system = 0;
    if (rest == nullptr ||
        std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user,
                    &system) != 2) {
        return 0;
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const bool zeroCopy = argc >= 3 && std::strcmp(argv[1], "zero-copy") == 0;
    if (argc < 3 || argc > 4 || (!zeroCopy && std::strcmp(argv[1], "copying") != 0)) {
        std::fprintf(stderr,
                     "usage: glimmora-bench-capture zero-copy|copying SECONDS [X_SERVER_PID]\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    const long serverPid = argc == 4 ? std::atol(argv[3]) : 0;
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);

    MemoryUserDefaults defaults;
    AppState settings(defaults);
    ScreenShaderView view(settings, &MonotonicClock::now);
    view.renderer().setSceneCompositor(GlxSceneCompositor::forApplication());
    view.setGeometry(QRect(0, 0, 64, 36));
    view.show();

    X11CaptureService service;
    service.setPreferredPath(zeroCopy ? CapturePath::ZeroCopy : CapturePath::Copying);
    service.setZeroCopyAvailable([&] { return view.renderer().canComposeScenes(); });
    service.setOwnWindows(
        [&]() -> std::vector<quint32> { return {static_cast<quint32>(view.winId())}; });
    QtScheduler scheduler;
    QObject mainThread;
    CaptureStream capture(
        service, view.renderer().handOver(), scheduler,
        std::make_unique<QtRepeatingTimer>(Qt::PreciseTimer), &MonotonicClock::now,
        [&view]() -> std::optional<quint32> { return static_cast<quint32>(view.winId()); },
        [&mainThread](std::function<void()> task) {
            QMetaObject::invokeMethod(&mainThread, std::move(task), Qt::QueuedConnection);
        });
    capture.startCapture();

    // Measure a steady stretch: after the start-up (window, first stream, first picture).
    long framesAtStart = 0;
    double cpuAtStart = 0;
    QTimer::singleShot(2000, &app, [&] {
        if (zeroCopy && !view.renderer().canComposeScenes()) {
            std::fprintf(stderr, "glimmora-bench-capture: zero-copy is not available here\n");
            app.exit(1);
            return;
        }
        framesAtStart = view.renderer().picturesShown();
        cpuAtStart = processCpuSeconds() + cpuSecondsOf(serverPid);
        QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
            std::printf("%ld %.3f\n", view.renderer().picturesShown() - framesAtStart,
                        processCpuSeconds() + cpuSecondsOf(serverPid) - cpuAtStart);
            app.quit();
        });
    });
    return app.exec();
}
