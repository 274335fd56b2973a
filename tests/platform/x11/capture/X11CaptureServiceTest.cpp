#include "platform/x11/capture/X11CaptureService.h"

#include <gtest/gtest.h>

#include <csignal>

#include "platform/x11/capture/X11CaptureStream.h"
#include "support/CaptureTestSupport.h"

namespace glimmora::test {
namespace {

TEST_F(X11CaptureServerTest, ListsViewableTopLevelsCapturesThePrimaryMonitorUntilTheServerGoes) {
    X11TestDisplay x(server.display());
    const xcb_window_t shown = x.createWindow({400, 100, 50, 50}, true);
    x.setBackground(shown, {208, 32, 32});
    x.createWindow({0, 0, 50, 50}, true);  // never mapped
    x.map(x.createWindow({5, 5, 10, 10}, true, 0, shown));
    x.map(shown);
    x.sync();
    QString error;
    const std::optional<ShareableContent> content = run.query(&error);
    ASSERT_TRUE(content.has_value()) << error.toStdString();
    EXPECT_EQ(content->displays, (std::vector<CaptureDisplay>{{640, 480}}));
    EXPECT_EQ(content->windowIds, std::vector<quint32>{shown});

    ASSERT_TRUE(server.run({"xrandr", "--setmonitor", "*right", "320/85x480/127+320+0", "none"}));
    ASSERT_EQ(run.start(), "");
    EXPECT_EQ(run.display, (CaptureDisplay{320, 480}));
    ASSERT_TRUE(waitUntil([&] { return run.delegate.record().pictures > 0; }, 3s));
    const QImage picture = run.delegate.record().latest.image;
    EXPECT_EQ(picture.size(), QSize(320, 480));
    EXPECT_EQ(picture.pixel(80, 100), qRgb(208, 32, 32));
    EXPECT_EQ(picture.pixel(79, 100), qRgb(0, 0, 0));

    server.signalServer(SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return run.delegate.record().stopError.has_value(); }, 3s));
    EXPECT_FALSE(run.delegate.record().stopError->isEmpty()) << "the stream reports it";
    EXPECT_FALSE(run.query(&error).has_value()) << "and so does the service";
    EXPECT_FALSE(error.isEmpty());
}

TEST(X11CaptureServiceTest, TakesTheZeroCopyPathOnlyWhenPreferredAndScenesCanBeComposed) {
    X11CaptureService service(QStringLiteral(":0"));
    bool canCompose = false;
    service.setZeroCopyAvailable([&] { return canCompose; });
    EXPECT_EQ(service.pathForNewStream(), CapturePath::Copying);
    canCompose = true;
    RecordingDelegate delegate;
    const auto stream = service.makeStream({640, 480}, std::nullopt, {}, delegate, nullptr);
    EXPECT_EQ(dynamic_cast<X11CaptureStream&>(*stream).path(), CapturePath::ZeroCopy);
    service.setPreferredPath(CapturePath::Copying);
    EXPECT_EQ(service.pathForNewStream(), CapturePath::Copying) << "forced";
}

}  // namespace
}  // namespace glimmora::test
