#include "platform/x11/capture/X11CaptureStream.h"

#include <gtest/gtest.h>

#include <QThread>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/x11/capture/DeliveryLoop.h"
#include "platform/x11/capture/TopLevelWindowList.h"
#include "platform/x11/connection/X11Display.h"
#include "support/CaptureTestSupport.h"
#include "support/LogCapture.h"

namespace glimmora::test {
namespace {

const Rgb kRed{208, 32, 32};
const Rgb kGreen{32, 192, 64};
const Rgb kBlue{32, 64, 208};
const Rgb kYellow{224, 208, 16};
const Rgb kPlain{0, 0, 0};  // no window, no wallpaper

// The copying path with shared pixmaps or, as on a server without them, reading a composed one.
struct Way {
    CapturePath path;
    bool sharedPixmaps = true;
};
void PrintTo(const Way& way, std::ostream* out) {
    *out << (way.path == CapturePath::ZeroCopy ? "ZeroCopy"
             : way.sharedPixmaps               ? "Copying"
                                               : "CopyingWithoutSharedPixmaps");
}

// Every way shows the same desktop: the copying one in its pictures, the zero-copy one in its
// scenes once the GPU composed them.
class DesktopCaptureTest : public CaptureDesktopTest, public ::testing::WithParamInterface<Way> {
protected:
    DesktopCaptureTest() : CaptureDesktopTest(GetParam().path) {
        if (!GetParam().sharedPixmaps) {
            qputenv("GLIMMORA_NO_SHARED_PIXMAPS", "1");
        }
    }
    ~DesktopCaptureTest() override { qunsetenv("GLIMMORA_NO_SHARED_PIXMAPS"); }
    /// The alpha byte as stored: Format_RGB32 requires 0xff, which pixel() would not show.
    int storedAlpha(int px, int py) const {
        return qAlpha(reinterpret_cast<const QRgb*>(picture.constScanLine(py))[px]);
    }

    LogCapture log;
};

TEST_P(DesktopCaptureTest, ShowsTheDesktopButNotTheOverlayAndFollowsItsChanges) {
    // A two-coloured tile smaller than the screen, so that its tiling shows.
    const xcb_pixmap_t tile = x.createPixmap(64, 48, kGreen);
    x.fill(tile, {0, 0, 32, 48}, kBlue);
    x.setCardinals(x.root(), "_XSETROOT_ID", XCB_ATOM_PIXMAP, {tile});
    const xcb_window_t red = window({50, 50, 200, 200}, kRed);
    const xcb_window_t green = window({150, 150, 200, 200}, kGreen);
    x.setBorder(green, 6, kYellow);
    const xcb_window_t cut = window({-20, 300, 60, 40}, kRed);
    x.fill(cut, {30, 10, 10, 10}, kBlue);  // at (10, 310) when the left part is cut right
    const xcb_window_t overlay = window({60, 60, 60, 40}, kYellow);
    x.createArgbWindow({20, 400, 80, 60}, 0x40000000u | 0x2040d0u);
    ASSERT_EQ(run.start(overlay), "");
    ASSERT_TRUE(showsSoon(10, 10, kBlue));
    // Named for top, within the kernel's 15 characters (a longer name is refused).
    EXPECT_TRUE(std::ranges::any_of(std::filesystem::directory_iterator("/proc/self/task"),
                                    [](const auto& task) {
                                        std::string name;
                                        std::getline(std::ifstream(task.path() / "comm"), name);
                                        return name == DeliveryLoop::kThreadName;
                                    }));
    EXPECT_EQ(at(40, 10), kGreen);
    EXPECT_EQ(at(64 * 7 + 10, 48 * 5 + 47), kBlue) << "tiled from the root's origin";
    EXPECT_EQ(at(70, 70), kRed) << "under the overlay";
    EXPECT_EQ(at(151, 151), kYellow) << "a border";
    EXPECT_EQ(at(200, 200), kGreen);
    EXPECT_EQ(at(10, 310), kBlue);
    EXPECT_EQ(at(9, 310), kRed);
    EXPECT_EQ(at(50, 430), kBlue) << "a translucent window, shown opaque";
    EXPECT_EQ(storedAlpha(50, 430), 255);
    EXPECT_EQ(storedAlpha(70, 70), 255);
    EXPECT_EQ(log.text().find("without shared pixmaps") != std::string::npos,
              !GetParam().sharedPixmaps)
        << log.text();

    x.raise(red);
    ASSERT_TRUE(showsSoon(200, 200, kRed)) << "raised";
    x.fill(red, {100, 100, 10, 10}, kBlue);
    ASSERT_TRUE(showsSoon(150, 150, kBlue)) << "drawn";
    EXPECT_EQ(at(159, 159), kBlue);
    EXPECT_EQ(at(160, 160), kRed);
    x.move(green, 500, 380);
    ASSERT_TRUE(showsSoon(639, 479, kGreen)) << "moved, past the corner";
    EXPECT_EQ(at(300, 300), kGreen) << "the tile where it was";
    x.resize(green, 80, 50);
    ASSERT_TRUE(showsSoon(591, 441, kYellow)) << "shrunk";
    x.fill(green, {70, 40, 10, 10}, kBlue);
    ASSERT_TRUE(showsSoon(585, 435, kBlue)) << "drawn inside a border";
    x.unmap(red);
    ASSERT_TRUE(showsSoon(100, 100, kGreen)) << "unmapped";
    x.destroy(overlay);
    x.map(red);
    ASSERT_TRUE(showsSoon(100, 100, kRed)) << "mapped again";
    x.destroy(red);
    ASSERT_TRUE(showsSoon(100, 100, kGreen)) << "destroyed";
    // The pixmap of _XROOTPMAP_ID comes before that of xsetroot, and a new one shows.
    x.setCardinals(x.root(), "_XROOTPMAP_ID", XCB_ATOM_PIXMAP, {x.createPixmap(8, 8, kYellow)});
    EXPECT_TRUE(showsSoon(10, 10, kYellow));
    EXPECT_FALSE(run.delegate.record().stopError.has_value());
}

TEST_P(DesktopCaptureTest, LeavesOwnWindowsOutAlsoWhenTheyAppearLaterOrInAFrame) {
    auto own = std::make_shared<std::vector<quint32>>();
    run.service.setOwnWindows([own] { return *own; });
    own->push_back(window({0, 0, 100, 100}, kRed));
    ASSERT_EQ(run.start(), "");
    ASSERT_TRUE(showsSoon(50, 50, kPlain));

    const xcb_window_t later = window({200, 0, 100, 100}, kRed, false);
    own->push_back(later);
    x.map(later);
    // A window manager's frame, made before our window goes into it, hides once it does.
    const xcb_window_t frame = window({400, 0, 120, 120}, kGreen, false);
    // Someone else's window, changed last, tells when the stream has seen all of the above.
    const xcb_window_t marker = window({0, 300, 50, 50}, kBlue);
    ASSERT_TRUE(showsSoon(10, 310, kBlue));
    const xcb_window_t client = window({0, 0, 100, 100}, kRed, false);
    own->push_back(client);
    x.reparent(client, frame, 10, 10);
    x.map(client);
    x.map(frame);
    x.fill(marker, {0, 0, 50, 50}, kYellow);
    ASSERT_TRUE(showsSoon(10, 310, kYellow));
    EXPECT_EQ(at(250, 50), kPlain);
    EXPECT_EQ(at(405, 5), kPlain) << "the frame's own area";
    EXPECT_EQ(at(450, 50), kPlain) << "the framed client";
}

INSTANTIATE_TEST_SUITE_P(Paths, DesktopCaptureTest,
                         ::testing::Values(Way{CapturePath::Copying}, Way{CapturePath::ZeroCopy},
                                           Way{CapturePath::Copying, false}),
                         ::testing::PrintToStringParamName());

TEST_F(X11CaptureServerTest, AnErrorAboutAWindowsPictureLeavesItOutUntilItsPixmapIsNamedAgain) {
    X11TestDisplay x(server.display());
    const xcb_window_t shown = x.createWindow({10, 10, 40, 30}, true);
    x.map(shown);
    x.sync();
    QString error;
    const std::shared_ptr<X11Display> display =
        X11Display::open(QString::fromStdString(server.display()), &error);
    ASSERT_TRUE(display && !display->initialiseCaptureExtensions()) << error.toStdString();
    TopLevelWindowList tracker(
        display, [](uint8_t) { return true; }, true);
    ASSERT_EQ(tracker.start(), std::nullopt);
    tracker.classify({}, tracker.lastSerial());
    const auto pictureOf = [&] {
        return std::ranges::find(tracker.windows(), shown, &TrackedWindow::id)->picture;
    };
    ASSERT_NE(pictureOf(), XCB_NONE);
    tracker.takeExposed();
    xcb_generic_error_t failure{};
    failure.resource_id = pictureOf();
    tracker.handleEvent(reinterpret_cast<const xcb_generic_event_t&>(failure));
    EXPECT_EQ(pictureOf(), XCB_NONE);
    EXPECT_EQ(tracker.takeExposed(), QRegion(10, 10, 40, 30));
    x.resize(shown, 50, 30);
    EXPECT_TRUE(waitUntil(
        [&] {
            while (XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(display->connection())}) {
                tracker.handleEvent(*event);
            }
            return pictureOf() != XCB_NONE;
        },
        3s));
}

TEST_F(X11CaptureServerTest, CompletesStartAndStopOnTheMainThreadAndStopsUnderAHungServer) {
    using Step = void (CaptureStreamSession::*)(std::function<void(std::optional<QString>)>);
    auto stream = run.service.makeStream({640, 480}, std::nullopt, {}, run.delegate, nullptr);
    int pictures = -1;  // when the last completion came
    const auto complete = [&](Step step) {
        auto outcome = std::make_shared<std::optional<std::optional<QString>>>();
        QThread* thread = nullptr;
        (stream.get()->*step)([&, outcome](std::optional<QString> error) {
            thread = QThread::currentThread();
            pictures = run.delegate.record().pictures;
            *outcome = error;
        });
        EXPECT_FALSE(outcome->has_value()) << "completed before the call returned";
        EXPECT_TRUE(waitUntil([&] { return outcome->has_value(); }, 3s, pumpQtEvents));
        EXPECT_EQ(thread, QThread::currentThread());
        return outcome->value_or("no completion");
    };
    EXPECT_EQ(complete(&CaptureStreamSession::start), std::nullopt);
    // An owner takes no picture from a stream it does not know to run yet; on a still desktop
    // a first picture lost that way would stay the only one.
    EXPECT_EQ(pictures, 0);
    EXPECT_TRUE(waitUntil([&] { return run.delegate.record().pictures == 1; }, 3s));
    EXPECT_NE(complete(&CaptureStreamSession::start), std::nullopt) << "it runs already";
    ASSERT_TRUE(waitUntil([&] { return run.delegate.record().signsOfLife > 0; }, 3s));
    EXPECT_EQ(complete(&CaptureStreamSession::stop), std::nullopt);
    const int signs = run.delegate.record().signsOfLife;
    std::this_thread::sleep_for(600ms);  // over two sign-of-life periods
    EXPECT_EQ(run.delegate.record().signsOfLife, signs) << "nothing is delivered after stop()";
    EXPECT_EQ(complete(&CaptureStreamSession::start), std::nullopt) << "it starts again";

    ASSERT_TRUE(waitUntil([&] { return run.delegate.record().signsOfLife > signs; }, 3s));
    server.signalServer(SIGSTOP);
    std::this_thread::sleep_for(300ms);  // an answer already on its way may still land
    const int before = run.delegate.record().signsOfLife;
    std::this_thread::sleep_for(1s);  // four sign-of-life periods
    EXPECT_EQ(run.delegate.record().signsOfLife, before) << "a hung server falls silent";
    const auto stopping = std::chrono::steady_clock::now();
    stream.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 3s) << "and the stream still stops";
    server.signalServer(SIGCONT);
}

}  // namespace
}  // namespace glimmora::test
