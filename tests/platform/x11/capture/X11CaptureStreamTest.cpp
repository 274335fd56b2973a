#include "platform/x11/capture/X11CaptureStream.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QThread>
#include <atomic>
#include <memory>

#include "platform/x11/capture/Wallpaper.h"
#include "platform/x11/capture/X11CaptureService.h"
#include "support/CaptureTestSupport.h"
#include "support/TestDesktop.h"
#include "support/XvfbFixture.h"

namespace glimmora::test {
namespace {

constexpr quint32 kRed = 0xd02020;
constexpr quint32 kGreen = 0x20c040;
constexpr quint32 kBlue = 0x2040d0;
constexpr quint32 kYellow = 0xe0d010;
const quint32 kPlain = kPlainDesktopColour & 0xffffff;

using Completion = std::shared_ptr<std::optional<std::optional<QString>>>;

/// A completion callback that records its outcome (shared: it may outlive a failed test).
std::function<void(std::optional<QString>)> recordInto(const Completion& outcome) {
    return [outcome](std::optional<QString> error) { *outcome = std::move(error); };
}

class X11CaptureStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        ASSERT_TRUE(server_.isRunning());
        desktop_ = std::make_unique<TestDesktop>(server_.displayName());
        ASSERT_TRUE(desktop_->isConnected());
    }

    /// Asks for the shareable content and starts a stream of its first display, as the
    /// capture start does.
    void startStream(std::optional<quint32> excluded = std::nullopt,
                     CaptureConfiguration configuration = {}) {
        auto content = std::make_shared<std::optional<std::optional<ShareableContent>>>();
        service_.queryShareableContent(
            [content](std::optional<ShareableContent> found, QString) { *content = found; });
        ASSERT_TRUE(waitUntil([&] { return content->has_value(); }));
        ASSERT_TRUE(content->value().has_value());
        ASSERT_FALSE(content->value()->displays.empty());
        display_ = content->value()->displays.front();
        configuration.width = display_.width;
        configuration.height = display_.height;
        QString error;
        stream_ = service_.makeStream(display_, excluded, configuration, delegate_, &error);
        ASSERT_TRUE(stream_) << error.toStdString();
        auto started = std::make_shared<std::optional<std::optional<QString>>>();
        stream_->start(recordInto(started));
        ASSERT_TRUE(waitUntil([&] { return started->has_value(); }));
        ASSERT_FALSE(started->value().has_value()) << started->value()->toStdString();
    }

    bool waitForPixel(QPoint at, quint32 rgb) {
        return delegate_.waitForPicture(
            [&](const QImage& picture) { return pixelAt(picture, at.x(), at.y()) == opaque(rgb); });
    }

    quint32 latestPixel(QPoint at) const {
        return pixelAt(delegate_.latestPicture(), at.x(), at.y());
    }

    XvfbServer server_;
    std::unique_ptr<TestDesktop> desktop_;
    X11CaptureService service_{server_.displayName()};
    CaptureDisplay display_;
    RecordingDelegate delegate_;
    std::unique_ptr<CaptureStreamSession> stream_;
};

TEST_F(X11CaptureStreamTest, DeliversMonitorSizedPictureWithWindowsAtTheirPlace) {
    desktop_->createWindow(QRect(100, 50, 200, 100), kRed);
    startStream();
    ASSERT_TRUE(waitUntil([&] { return delegate_.pictureCount() > 0; }));

    const QImage picture = delegate_.latestPicture();
    EXPECT_EQ(picture.size(), QSize(640, 480));
    EXPECT_EQ(picture.format(), QImage::Format_RGB32);
    EXPECT_EQ(pixelAt(picture, 100, 50), opaque(kRed));
    EXPECT_EQ(pixelAt(picture, 299, 149), opaque(kRed));
    EXPECT_EQ(pixelAt(picture, 99, 50), opaque(kPlain));
    EXPECT_EQ(pixelAt(picture, 300, 149), opaque(kPlain));
    EXPECT_EQ(pixelAt(picture, 100, 150), opaque(kPlain));
}

TEST_F(X11CaptureStreamTest, TilesTheRootPixmapFromTheRootOrigin) {
    const xcb_pixmap_t tile = desktop_->createPixmap(QSize(64, 48), kGreen);
    desktop_->fill(tile, QRect(0, 0, 32, 48), kBlue);  // left half blue
    desktop_->setWallpaper("_XROOTPMAP_ID", tile);
    startStream();
    ASSERT_TRUE(waitUntil([&] { return delegate_.pictureCount() > 0; }));

    EXPECT_EQ(latestPixel({0, 0}), opaque(kBlue));
    EXPECT_EQ(latestPixel({32, 0}), opaque(kGreen));
    EXPECT_EQ(latestPixel({64, 47}), opaque(kBlue));
    EXPECT_EQ(latestPixel({64 * 3 + 40, 48 * 5 + 7}), opaque(kGreen));

    const xcb_pixmap_t plain = desktop_->createPixmap(QSize(640, 480), kYellow);
    desktop_->setWallpaper("_XROOTPMAP_ID", plain);
    EXPECT_TRUE(waitForPixel({0, 0}, kYellow)) << "a new wallpaper shows up";
}

TEST_F(X11CaptureStreamTest, FallsBackToTheXsetrootPixmap) {
    desktop_->setWallpaper("_XSETROOT_ID", desktop_->createPixmap(QSize(8, 8), kYellow));
    startStream();
    EXPECT_TRUE(waitForPixel({333, 222}, kYellow));
}

TEST_F(X11CaptureStreamTest, LeavesTheExcludedWindowOut) {
    desktop_->createWindow(QRect(100, 100, 200, 200), kBlue);
    const xcb_window_t overlay = desktop_->createWindow(QRect(150, 150, 200, 200), kRed);
    startStream(overlay);

    ASSERT_TRUE(waitUntil([&] { return delegate_.pictureCount() > 0; }));
    EXPECT_EQ(latestPixel({200, 200}), opaque(kBlue)) << "what lies below shows through";
    EXPECT_EQ(latestPixel({320, 320}), opaque(kPlain));
}

TEST_F(X11CaptureStreamTest, LeavesOwnWindowsOutAlsoWhenTheyAppearLaterOrInAFrame) {
    auto own = std::make_shared<std::vector<quint32>>();
    service_.setOwnWindows([own] { return *own; });
    own->push_back(desktop_->createWindow(QRect(0, 0, 100, 100), kRed));
    startStream();
    ASSERT_TRUE(waitUntil([&] { return delegate_.pictureCount() > 0; }));
    EXPECT_EQ(latestPixel({50, 50}), opaque(kPlain));

    const xcb_window_t later = desktop_->createWindow(QRect(200, 0, 100, 100), kRed, false);
    own->push_back(later);
    desktop_->map(later);
    // A window manager's frame, made before our window goes into it, hides once it does.
    const xcb_window_t frame = desktop_->createWindow(QRect(400, 0, 120, 120), kGreen, false);
    // Windows of someone else, shown last, tell when the stream has seen all of the above.
    const xcb_window_t marker = desktop_->createWindow(QRect(0, 300, 50, 50), kBlue);
    ASSERT_TRUE(waitForPixel({10, 310}, kBlue));
    const xcb_window_t client = desktop_->createWindow(QRect(0, 0, 100, 100), kRed, false);
    own->push_back(client);
    desktop_->reparent(client, frame, QPoint(10, 10));
    desktop_->map(client);
    desktop_->map(frame);
    desktop_->fill(marker, QRect(0, 0, 50, 50), kYellow);  // no new window: nothing else asks
    ASSERT_TRUE(waitForPixel({10, 310}, kYellow));

    EXPECT_EQ(latestPixel({50, 50}), opaque(kPlain));
    EXPECT_EQ(latestPixel({250, 50}), opaque(kPlain));
    EXPECT_EQ(latestPixel({405, 5}), opaque(kPlain)) << "the frame's own area";
    EXPECT_EQ(latestPixel({450, 50}), opaque(kPlain)) << "the framed client";
}

TEST_F(X11CaptureStreamTest, ShowsTheWindowStackedOnTop) {
    const xcb_window_t lower = desktop_->createWindow(QRect(50, 50, 200, 200), kRed);
    desktop_->createWindow(QRect(150, 150, 200, 200), kGreen);
    startStream();
    ASSERT_TRUE(waitForPixel({200, 200}, kGreen));
    EXPECT_EQ(latestPixel({100, 100}), opaque(kRed));

    desktop_->raise(lower);
    ASSERT_TRUE(waitForPixel({200, 200}, kRed));
    EXPECT_EQ(latestPixel({300, 300}), opaque(kGreen));
}

TEST_F(X11CaptureStreamTest, KeepsUpWithMovesResizesUnmapsAndDestruction) {
    const xcb_window_t window = desktop_->createWindow(QRect(50, 50, 100, 100), kRed);
    startStream();
    ASSERT_TRUE(waitForPixel({60, 60}, kRed));

    desktop_->move(window, QPoint(300, 200));
    ASSERT_TRUE(waitForPixel({310, 210}, kRed));
    EXPECT_EQ(latestPixel({60, 60}), opaque(kPlain));

    desktop_->resize(window, QSize(200, 150));
    EXPECT_TRUE(waitForPixel({490, 340}, kRed)) << "the grown part";

    desktop_->unmap(window);
    EXPECT_TRUE(waitForPixel({310, 210}, kPlain));
    desktop_->map(window);
    EXPECT_TRUE(waitForPixel({490, 340}, kRed));

    desktop_->destroy(window);
    EXPECT_TRUE(waitForPixel({310, 210}, kPlain));

    desktop_->createWindow(QRect(10, 10, 20, 20), kBlue);
    EXPECT_TRUE(waitForPixel({15, 15}, kBlue)) << "the stream goes on";
    EXPECT_FALSE(delegate_.stopError().has_value());
}

TEST_F(X11CaptureStreamTest, ShowsDrawingWhereItHappensBorderIncluded) {
    const xcb_window_t window =
        desktop_->createWindow(QRect(100, 100, 120, 120), kGreen, true, 10, kBlue);
    startStream();
    ASSERT_TRUE(waitForPixel({115, 115}, kGreen));
    EXPECT_EQ(latestPixel({105, 105}), opaque(kBlue)) << "border";

    desktop_->fill(window, QRect(20, 30, 10, 10), kRed);
    ASSERT_TRUE(waitForPixel({130, 140}, kRed));
    EXPECT_EQ(latestPixel({139, 149}), opaque(kRed));
    EXPECT_EQ(latestPixel({129, 140}), opaque(kGreen));
    EXPECT_EQ(latestPixel({140, 149}), opaque(kGreen));
    EXPECT_EQ(latestPixel({130, 150}), opaque(kGreen));
}

TEST_F(X11CaptureStreamTest, ShowsTranslucentWindowsAsOpaque) {
    desktop_->createWindow(QRect(0, 0, 200, 200), kRed);
    if (desktop_->createArgbWindow(QRect(50, 50, 100, 100), 0x40000000u | kBlue) == XCB_NONE) {
        GTEST_SKIP() << "no 32-bit visual";
    }
    startStream();
    EXPECT_TRUE(waitForPixel({100, 100}, kBlue));
}

TEST_F(X11CaptureStreamTest, ZeroCopyStreamDescribesTheDesktopInsteadOfPaintingIt) {
    const xcb_pixmap_t tile = desktop_->createPixmap(QSize(64, 48), kGreen);
    desktop_->setWallpaper("_XROOTPMAP_ID", tile);
    const xcb_window_t below = desktop_->createWindow(QRect(100, 50, 200, 100), kRed);
    const xcb_window_t above =
        desktop_->createWindow(QRect(150, 80, 100, 100), kBlue, true, 3, kYellow);
    const xcb_window_t overlay = desktop_->createWindow(QRect(0, 0, 50, 50), kYellow);
    desktop_->createWindow(QRect(700, 10, 50, 50), kRed);  // off the monitor
    service_.setZeroCopyAvailable([] { return true; });
    startStream(overlay);
    ASSERT_TRUE(
        delegate_.waitForScene([](const DesktopScene& scene) { return scene.layers.size() == 2; }));
    EXPECT_TRUE(delegate_.latestPicture().isNull()) << "no pixels are read";

    std::shared_ptr<const DesktopScene> scene = delegate_.latestScene();
    EXPECT_EQ(scene->size, QSize(640, 480));
    ASSERT_TRUE(scene->wallpaper.has_value());
    EXPECT_EQ(scene->wallpaper->pixmap, tile);
    EXPECT_EQ(scene->wallpaper->size, QSize(64, 48));
    EXPECT_EQ(scene->wallpaper->origin, QPoint(0, 0));
    EXPECT_EQ(scene->layers[0].window, below);
    EXPECT_EQ(scene->layers[0].rect, QRect(100, 50, 200, 100));
    EXPECT_EQ(scene->layers[0].depth, 24);
    EXPECT_EQ(scene->layers[1].window, above);
    EXPECT_EQ(scene->layers[1].rect, QRect(150, 80, 100, 100)) << "border included";
    for (const SceneLayer& layer : scene->layers) {
        EXPECT_NE(layer.pixmap, 0u);
        EXPECT_NE(layer.pixmap, layer.window) << "the window's named pixmap, not the window";
    }

    // Drawing moves the version of the window drawn into only.
    const SceneLayer before = scene->layers[0];
    const SceneLayer untouched = scene->layers[1];
    desktop_->fill(below, QRect(0, 0, 10, 10), kGreen);
    ASSERT_TRUE(delegate_.waitForScene([&](const DesktopScene& next) {
        return next.layers.size() == 2 && next.layers[0].contentVersion != before.contentVersion;
    }));
    scene = delegate_.latestScene();
    EXPECT_EQ(scene->layers[0].pixmap, before.pixmap) << "drawing names no new pixmap";
    EXPECT_EQ(scene->layers[1], untouched);

    desktop_->raise(below);
    EXPECT_TRUE(delegate_.waitForScene([&](const DesktopScene& next) {
        return next.layers.size() == 2 && next.layers.back().window == below;
    })) << "restacking reorders the layers";
    desktop_->resize(above, QSize(40, 40));
    EXPECT_TRUE(delegate_.waitForScene([&](const DesktopScene& next) {
        return next.layers.size() == 2 && next.layers.front().rect == QRect(150, 80, 46, 46) &&
               next.layers.front().pixmap != untouched.pixmap;
    })) << "a resize names a new pixmap";
}

TEST_F(X11CaptureStreamTest, StillDesktopSendsSignsOfLifeAndNoFurtherPictures) {
    desktop_->createWindow(QRect(100, 100, 50, 50), kRed);
    startStream();
    ASSERT_TRUE(waitUntil([&] { return delegate_.signOfLifeCount() >= 4; }));
    EXPECT_EQ(delegate_.pictureCount(), 1);
}

TEST_F(X11CaptureStreamTest, DrawingNobodyCanSeeSendsNoPictureButIsKept) {
    const xcb_window_t hidden = desktop_->createWindow(QRect(100, 100, 50, 50), kRed);
    const xcb_window_t cover = desktop_->createWindow(QRect(80, 80, 100, 100), kGreen);
    startStream();
    ASSERT_TRUE(waitUntil([&] { return delegate_.signOfLifeCount() >= 1; }));
    const int pictures = delegate_.pictureCount();

    desktop_->fill(hidden, QRect(0, 0, 50, 50), kBlue);
    const int signs = delegate_.signOfLifeCount();
    ASSERT_TRUE(waitUntil([&] { return delegate_.signOfLifeCount() >= signs + 3; }));
    EXPECT_EQ(delegate_.pictureCount(), pictures);

    desktop_->unmap(cover);
    EXPECT_TRUE(waitForPixel({110, 110}, kBlue)) << "the hidden drawing was read";
}

TEST_F(X11CaptureStreamTest, SpacesPicturesByTheMinimumInterval) {
    const xcb_window_t window = desktop_->createWindow(QRect(0, 0, 100, 100), kRed);
    CaptureConfiguration configuration;
    configuration.minimumFrameInterval = 0.1;
    startStream(std::nullopt, configuration);

    bool red = true;
    EXPECT_TRUE(waitUntil(
        [&] {
            red = !red;
            desktop_->fill(window, QRect(0, 0, 100, 100), red ? kRed : kGreen);
            return delegate_.pictureCount() >= 8;
        },
        5s));
    const auto times = delegate_.pictureTimes();
    for (size_t i = 1; i < times.size(); ++i) {
        EXPECT_GE(times[i] - times[i - 1], 80ms) << "between pictures " << i - 1 << " and " << i;
    }
}

TEST_F(X11CaptureStreamTest, TheFirstPictureWaitsUntilTheOwnerHeardOfTheStart) {
    // An owner takes no picture from a stream it does not know to run yet; on a still desktop a
    // first picture lost that way would stay the only one.
    class OrderDelegate final : public CaptureStreamDelegate {
    public:
        std::atomic<bool> started{false};
        std::atomic<int> early{0};
        std::atomic<int> pictures{0};
        void didOutputSample(const CaptureSample& sample) override {
            if (sample.hasPicture()) {
                (started ? pictures : early)++;
            }
        }
        void didStopWithError(const QString&) override {}
    };
    desktop_->createWindow(QRect(10, 10, 50, 50), kRed);
    for (const bool zeroCopy : {false, true}) {
        SCOPED_TRACE(zeroCopy ? "zero-copy" : "copying");
        service_.setZeroCopyAvailable([zeroCopy] { return zeroCopy; });
        OrderDelegate order;
        QString error;
        auto stream = service_.makeStream({640, 480}, std::nullopt, {}, order, &error);
        ASSERT_NE(stream, nullptr) << error.toStdString();
        stream->start([&order](std::optional<QString>) { order.started = true; });
        ASSERT_TRUE(waitUntil([&] { return order.pictures > 0; }));
        EXPECT_EQ(order.early, 0);
    }
}

TEST_F(X11CaptureStreamTest, CapturesOnlyThePrimaryMonitor) {
    if (!server_.xrandr({"--setmonitor", "*right", "320/85x480/127+320+0", "none"})) {
        GTEST_SKIP() << "xrandr cannot make a monitor here";
    }
    desktop_->createWindow(QRect(400, 100, 50, 50), kRed);
    startStream();
    EXPECT_EQ(display_, (CaptureDisplay{320, 480}));
    ASSERT_TRUE(waitUntil([&] { return delegate_.pictureCount() > 0; }));
    EXPECT_EQ(delegate_.latestPicture().size(), QSize(320, 480));
    EXPECT_EQ(latestPixel({80, 100}), opaque(kRed));
    EXPECT_EQ(latestPixel({79, 100}), opaque(kPlain));
}

TEST_F(X11CaptureStreamTest, ReportsALostServer) {
    startStream();
    ASSERT_TRUE(waitUntil([&] { return delegate_.pictureCount() > 0; }));
    server_.kill(SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return delegate_.stopError().has_value(); }));
    EXPECT_FALSE(delegate_.stopError()->isEmpty());
}

TEST_F(X11CaptureStreamTest, HungServerFallsSilentAndTheStreamStillStops) {
    startStream();
    ASSERT_TRUE(waitUntil([&] { return delegate_.signOfLifeCount() > 0; }));
    server_.kill(SIGSTOP);
    std::this_thread::sleep_for(300ms);  // an answer already on its way may still land
    const int samples = delegate_.sampleCount();
    std::this_thread::sleep_for(1s);  // four sign-of-life periods
    EXPECT_EQ(delegate_.sampleCount(), samples);

    auto stopped = std::make_shared<std::optional<std::optional<QString>>>();
    const auto before = std::chrono::steady_clock::now();
    stream_->stop(recordInto(stopped));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
    EXPECT_TRUE(waitUntil([&] { return stopped->has_value(); }));
    server_.kill(SIGCONT);
}

TEST_F(X11CaptureStreamTest, CompletesStartAndStopLaterOnTheMainThread) {
    X11CaptureStream stream({server_.displayName(), {640, 480}, std::nullopt, {}, {}}, delegate_);
    struct StartRecord {
        bool returned = false;
        bool calledAfterReturn = false;
        QThread* thread = nullptr;
        std::optional<std::optional<QString>> result;
    };
    auto record = std::make_shared<StartRecord>();
    stream.start([record](std::optional<QString> result) {
        record->calledAfterReturn = record->returned;
        record->thread = QThread::currentThread();
        record->result = result;
    });
    record->returned = true;
    ASSERT_TRUE(waitUntil([&] { return record->result.has_value(); }));
    EXPECT_FALSE(record->result->has_value());
    EXPECT_TRUE(record->calledAfterReturn);
    EXPECT_EQ(record->thread, QThread::currentThread());

    auto again = std::make_shared<std::optional<std::optional<QString>>>();
    stream.start(recordInto(again));
    ASSERT_TRUE(waitUntil([&] { return again->has_value(); }));
    EXPECT_TRUE(again->value().has_value()) << "a running stream does not start twice";

    ASSERT_TRUE(waitUntil([&] { return delegate_.sampleCount() >= 2; }));
    auto stopped = std::make_shared<std::optional<std::optional<QString>>>();
    stream.stop(recordInto(stopped));
    const int samples = delegate_.sampleCount();
    ASSERT_TRUE(waitUntil([&] { return stopped->has_value(); }));
    EXPECT_FALSE(stopped->value().has_value());
    std::this_thread::sleep_for(600ms);  // over two sign-of-life periods
    EXPECT_EQ(delegate_.sampleCount(), samples) << "nothing is delivered after stop()";

    auto restarted = std::make_shared<std::optional<std::optional<QString>>>();
    stream.start(recordInto(restarted));
    ASSERT_TRUE(waitUntil([&] { return restarted->has_value(); }));
    EXPECT_FALSE(restarted->value().has_value());
    EXPECT_TRUE(waitUntil([&] { return delegate_.sampleCount() > samples; }));
}

TEST_F(X11CaptureStreamTest, StartFailsWithoutAServer) {
    // A display number no test server takes (they pick the lowest free one), so a server
    // started meanwhile by a test running in parallel cannot answer in its place.
    const QString name = QStringLiteral(":60999");
    ASSERT_FALSE(QFile::exists(QStringLiteral("/tmp/.X11-unix/X60999")));
    X11CaptureStream stream({name, {640, 480}, std::nullopt, {}, {}}, delegate_);
    auto started = std::make_shared<std::optional<std::optional<QString>>>();
    stream.start(recordInto(started));
    ASSERT_TRUE(waitUntil([&] { return started->has_value(); }));
    ASSERT_TRUE(started->value().has_value());
    EXPECT_TRUE(started->value()->contains(name));
}

}  // namespace
}  // namespace glimmora::test
