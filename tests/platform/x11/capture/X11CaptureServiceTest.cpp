#include "platform/x11/capture/X11CaptureService.h"

#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <memory>

#include "platform/x11/capture/X11CaptureStream.h"
#include "support/CaptureTestSupport.h"
#include "support/TestDesktop.h"
#include "support/XvfbFixture.h"

namespace glimmora::test {
namespace {

struct QueryResult {
    bool answered = false;
    std::optional<ShareableContent> content;
    QString error;
};

/// Queries `service`, noting whether the answer came before the call returned.
std::shared_ptr<QueryResult> query(X11CaptureService& service, bool* answeredSynchronously) {
    auto result = std::make_shared<QueryResult>();
    service.queryShareableContent([result](std::optional<ShareableContent> content, QString error) {
        result->answered = true;
        result->content = std::move(content);
        result->error = std::move(error);
    });
    if (answeredSynchronously != nullptr) {
        *answeredSynchronously = result->answered;
    }
    waitUntil([&] { return result->answered; });
    return result;
}

bool contains(const std::vector<quint32>& ids, quint32 id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

class X11CaptureServiceTest : public ::testing::Test {
protected:
    void SetUp() override { application(); }
};

TEST_F(X11CaptureServiceTest, ReportsTheWholeScreenWhenNoMonitorIsPrimary) {
    XvfbServer server(QSize(800, 600));
    ASSERT_TRUE(server.isRunning());
    X11CaptureService service(server.displayName());
    bool synchronous = true;
    const auto result = query(service, &synchronous);
    EXPECT_FALSE(synchronous) << "the answer comes from the event loop";
    ASSERT_TRUE(result->content.has_value()) << result->error.toStdString();
    ASSERT_EQ(result->content->displays.size(), 1u);
    EXPECT_EQ(result->content->displays.front(), (CaptureDisplay{800, 600}));
}

TEST_F(X11CaptureServiceTest, ReportsThePrimaryMonitor) {
    XvfbServer server(QSize(800, 600));
    ASSERT_TRUE(server.isRunning());
    if (!server.xrandr({"--setmonitor", "*side", "300/80x200/50+500+100", "none"})) {
        GTEST_SKIP() << "xrandr cannot make a monitor here";
    }
    X11CaptureService service(server.displayName());
    const auto result = query(service, nullptr);
    ASSERT_TRUE(result->content.has_value()) << result->error.toStdString();
    ASSERT_FALSE(result->content->displays.empty());
    EXPECT_EQ(result->content->displays.front(), (CaptureDisplay{300, 200}));
}

TEST_F(X11CaptureServiceTest, ListsViewableTopLevelWindowsOnly) {
    XvfbServer server;
    ASSERT_TRUE(server.isRunning());
    TestDesktop desktop(server.displayName());
    const xcb_window_t shown = desktop.createWindow(QRect(0, 0, 50, 50), 0x808080);
    const xcb_window_t hidden = desktop.createWindow(QRect(0, 0, 50, 50), 0x808080, false);
    const xcb_window_t child =
        desktop.createWindow(QRect(5, 5, 10, 10), 0x808080, true, 0, 0, shown);

    X11CaptureService service(server.displayName());
    const auto result = query(service, nullptr);
    ASSERT_TRUE(result->content.has_value()) << result->error.toStdString();
    EXPECT_TRUE(contains(result->content->windowIds, shown));
    EXPECT_FALSE(contains(result->content->windowIds, hidden));
    EXPECT_FALSE(contains(result->content->windowIds, child));
}

TEST_F(X11CaptureServiceTest, ReportsAnErrorLineWithoutAServer) {
    // A display number no test server takes (they pick the lowest free one), so a server
    // started meanwhile by a test running in parallel cannot answer in its place.
    const QString name = QStringLiteral(":60999");
    ASSERT_FALSE(QFile::exists(QStringLiteral("/tmp/.X11-unix/X60999")));
    X11CaptureService service(name);
    bool synchronous = true;
    const auto result = query(service, &synchronous);
    EXPECT_FALSE(synchronous);
    ASSERT_TRUE(result->answered);
    EXPECT_FALSE(result->content.has_value());
    EXPECT_TRUE(result->error.contains(name));
    EXPECT_FALSE(result->error.contains('\n'));
}

TEST_F(X11CaptureServiceTest, ReportsAnErrorOnceTheServerIsGone) {
    XvfbServer first;
    ASSERT_TRUE(first.isRunning());
    X11CaptureService service(first.displayName());
    ASSERT_TRUE(query(service, nullptr)->content.has_value());
    first.kill(SIGKILL);
    EXPECT_FALSE(query(service, nullptr)->content.has_value());
}

TEST_F(X11CaptureServiceTest, MakesNoStreamOfAnEmptyDisplay) {
    X11CaptureService service(QStringLiteral(":0"));
    RecordingDelegate delegate;
    QString error;
    EXPECT_EQ(service.makeStream({0, 0}, std::nullopt, {}, delegate, &error), nullptr);
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(X11CaptureServiceTest, TakesTheZeroCopyPathOnlyWhenPreferredAndScenesCanBeComposed) {
    X11CaptureService service(QStringLiteral(":0"));
    EXPECT_EQ(service.preferredPath(), CapturePath::ZeroCopy);
    EXPECT_EQ(service.pathForNewStream(), CapturePath::Copying) << "nobody can compose scenes";
    bool canCompose = false;
    int asked = 0;
    service.setZeroCopyAvailable([&] {
        ++asked;
        return canCompose;
    });
    EXPECT_EQ(service.pathForNewStream(), CapturePath::Copying);
    canCompose = true;
    EXPECT_EQ(service.pathForNewStream(), CapturePath::ZeroCopy);
    EXPECT_EQ(asked, 2) << "asked anew for every stream";

    RecordingDelegate delegate;
    QString error;
    auto stream = service.makeStream({640, 480}, std::nullopt, {}, delegate, &error);
    ASSERT_NE(dynamic_cast<X11CaptureStream*>(stream.get()), nullptr);
    EXPECT_EQ(static_cast<X11CaptureStream&>(*stream).path(), CapturePath::ZeroCopy);

    service.setPreferredPath(CapturePath::Copying);
    EXPECT_EQ(service.pathForNewStream(), CapturePath::Copying) << "forced";
    stream = service.makeStream({640, 480}, std::nullopt, {}, delegate, &error);
    EXPECT_EQ(static_cast<X11CaptureStream&>(*stream).path(), CapturePath::Copying);
}

}  // namespace
}  // namespace glimmora::test
