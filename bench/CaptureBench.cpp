// One capture path feeding a full-screen overlay renderer for a fixed time, as the application
// wires it: `glimmora-bench-capture zero-copy|copying|redirect-only SECONDS [X_SERVER_PID]` on
// $DISPLAY. Prints "PICTURES DRAWS OWN_CPU SERVER_CPU": the desktop pictures the draw took for
// display, the frames the overlay drew, the CPU seconds this process used (capture thread,
// composition, upload and the draw itself, every effect off) and those of the X server over the
// same stretch when its process id is given. `redirect-only` redirects the top-level windows as
// the capture does and captures nothing: the X server's share of redirection alone.
#include <sys/resource.h>
#include <unistd.h>
#include <xcb/composite.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QObject>
#include <QScreen>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "capture/CaptureStream.h"
#include "core/MonotonicClock.h"
#include "core/QtRepeatingTimer.h"
#include "core/QtScheduler.h"
#include "platform/x11/capture/GlxSceneCompositor.h"
#include "platform/x11/capture/X11CaptureService.h"
#include "platform/x11/windows/GlxAreaPresenter.h"
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

// Redirects the top-level windows, as the capture does, for `seconds`; prints the X server's
// CPU time over that stretch.
int redirectOnly(double seconds, long serverPid) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "glimmora-bench-capture: cannot open the display\n");
        return 1;
    }
    std::free(xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 4), nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_composite_redirect_subwindows(c, root, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    std::this_thread::sleep_for(std::chrono::seconds(2));  // as the capture's start-up
    const double serverAtStart = cpuSecondsOf(serverPid);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    std::printf("0 0 0 %.3f\n", cpuSecondsOf(serverPid) - serverAtStart);
    xcb_disconnect(c);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool zeroCopy = argc >= 3 && std::strcmp(argv[1], "zero-copy") == 0;
    const bool redirect = argc >= 3 && std::strcmp(argv[1], "redirect-only") == 0;
    if (argc < 3 || argc > 4 || (!zeroCopy && !redirect && std::strcmp(argv[1], "copying") != 0)) {
        std::fprintf(stderr,
                     "usage: glimmora-bench-capture zero-copy|copying|redirect-only SECONDS "
                     "[X_SERVER_PID]\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    const long serverPid = argc == 4 ? std::atol(argv[3]) : 0;
    if (redirect) {
        return redirectOnly(seconds, serverPid);
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);

    MemoryUserDefaults defaults;
    AppState settings(defaults);
    ScreenShaderView view(settings, &MonotonicClock::now);
    view.renderer().setSceneCompositor(GlxSceneCompositor::forApplication());
    view.setPresenterFactory(&GlxAreaPresenter::forCurrentContext);
    // Full screen, as the overlay: its drawing counts.
    view.setGeometry(app.primaryScreen()->geometry());
    view.show();
    long draws = 0;
    QObject::connect(&view, &ScreenShaderView::frameShown, [&draws] { ++draws; });

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
    long drawsAtStart = 0;
    double cpuAtStart = 0;
    double serverAtStart = 0;
    QTimer::singleShot(2000, &app, [&] {
        if (zeroCopy && !view.renderer().canComposeScenes()) {
            std::fprintf(stderr, "glimmora-bench-capture: zero-copy is not available here\n");
            app.exit(1);
            return;
        }
        framesAtStart = view.renderer().picturesShown();
        drawsAtStart = draws;
        cpuAtStart = processCpuSeconds();
        serverAtStart = cpuSecondsOf(serverPid);
        QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
            std::printf("%ld %ld %.3f %.3f\n", view.renderer().picturesShown() - framesAtStart,
                        draws - drawsAtStart, processCpuSeconds() - cpuAtStart,
                        cpuSecondsOf(serverPid) - serverAtStart);
            app.quit();
        });
    });
    return app.exec();
}
