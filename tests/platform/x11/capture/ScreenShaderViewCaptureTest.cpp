#include "render/ScreenShaderView.h"

#include <gtest/gtest.h>

#include <QObject>
#include <cstdlib>
#include <memory>

#include "capture/CaptureStream.h"
#include "core/MonotonicClock.h"
#include "core/QtRepeatingTimer.h"
#include "core/QtScheduler.h"
#include "platform/x11/capture/GlxSceneCompositor.h"
#include "render/OffscreenTarget.h"
#include "render/OverlayRenderer.h"
#include "settings/AppState.h"
#include "settings/MemoryUserDefaults.h"
#include "support/GlxTestSupport.h"
#include "support/TestDesktop.h"

namespace glimmora::test {
namespace {

[[maybe_unused]] GlxSession& session = GlxSession::shared();

constexpr quint32 kRed = 0xd02020;
constexpr quint32 kBlue = 0x2040d0;

/// Whether `pixel` shows `rgb`, give or take what the shader's default settings change.
bool looksLike(QRgb pixel, quint32 rgb) {
    const auto near = [](int a, int b) { return std::abs(a - b) <= 6; };
    return near(qRed(pixel), static_cast<int>((rgb >> 16) & 0xff)) &&
           near(qGreen(pixel), static_cast<int>((rgb >> 8) & 0xff)) &&
           near(qBlue(pixel), static_cast<int>(rgb & 0xff));
}

class ScreenShaderViewCaptureTest : public ::testing::TestWithParam<CapturePath> {
protected:
    void SetUp() override {
        if (!session.failure().empty()) {
            GTEST_SKIP() << session.failure();
        }
    }
};

// What the application does, and what a benchmark of the two paths does with one switch: the
// overlay window's renderer gets the GLX compositor, the capture service is told whether it
// can compose scenes, and the capture stream feeds the renderer.
TEST_P(ScreenShaderViewCaptureTest, TheOverlayWindowShowsTheDesktopOnEitherPath) {
    TestDesktop desktop(session.displayName());
    ASSERT_TRUE(desktop.isConnected());
    desktop.createWindow(QRect(0, 0, 640, 480), kBlue);
    desktop.createWindow(QRect(100, 60, 200, 160), kRed);
    // Top half red, bottom half blue (a child), repainted by the server itself whenever it is
    // exposed: the overlay covers it when the capture starts.
    const xcb_window_t halves = desktop.createWindow(QRect(400, 300, 100, 100), kRed);
    desktop.createWindow(QRect(0, 50, 100, 50), kBlue, true, 0, 0, halves);

    MemoryUserDefaults defaults;
    AppState settings(defaults);
    ScreenShaderView view(settings, &MonotonicClock::now);
    view.renderer().setSceneCompositor(GlxSceneCompositor::forApplication());
    view.setGeometry(QRect(0, 0, 640, 480));
    view.show();
    ASSERT_TRUE(waitUntil([&] { return view.isExposed() && view.isValid(); }, 5s));
    if (GetParam() == CapturePath::ZeroCopy) {
        ASSERT_TRUE(waitUntil([&] { return view.renderer().canComposeScenes(); }, 5s));
    }

    X11CaptureService service(session.displayName());
    service.setPreferredPath(GetParam());
    service.setZeroCopyAvailable([&] { return view.renderer().canComposeScenes(); });
    EXPECT_EQ(service.pathForNewStream(), GetParam());
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

    // Frames drawn by the overlay's renderer, read back: the desktop without the overlay.
    QImage frame;
    const bool shown = waitUntil(
        [&] {
            view.makeCurrent();
            {
                OffscreenTarget target(QSize(640, 480));
                view.renderer().draw(target.target());
                frame = target.read();
            }
            view.doneCurrent();
            return looksLike(frame.pixel(200, 140), kRed) &&
                   looksLike(frame.pixel(50, 50), kBlue) &&
                   looksLike(frame.pixel(450, 310), kRed) &&
                   looksLike(frame.pixel(450, 390), kBlue);
        },
        5s);
    EXPECT_TRUE(shown) << "the desktop, right way up, not the overlay; drawn: " << std::hex
                       << frame.pixel(200, 140) << " " << frame.pixel(50, 50) << " "
                       << frame.pixel(450, 310) << " " << frame.pixel(450, 390);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, ScreenShaderViewCaptureTest,
                         ::testing::Values(CapturePath::ZeroCopy, CapturePath::Copying),
                         [](const ::testing::TestParamInfo<CapturePath>& info) {
                             return info.param == CapturePath::ZeroCopy ? "ZeroCopy" : "Copying";
                         });

}  // namespace
}  // namespace glimmora::test
