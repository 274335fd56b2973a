// The running program's menu and control interface, reached as a desktop does: a StatusNotifierItem
// host (com.canonical.dbusmenu), the command line, an XEmbed tray with no session bus; and one
// instance per display, found over the bus or through the display. The menu itself: tests/menu.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <xcb/xcb.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <numeric>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <optional>
#include <thread>

#include "platform/x11/connection/XcbReply.h"
#include "support/AtspiSession.h"
#include "support/GlimmoraProcess.h"
#include "support/TestApplication.h"
#include "support/X11TestDisplay.h"

namespace glimmora {
namespace {

using namespace std::chrono_literals;
using test::Rgb;

constexpr int kScreenWidth = 640, kScreenHeight = 480;
constexpr Rgb kWallpaper{40, 160, 220};
// Bare wallpaper, away from the panels at the top and bottom and from the menus.
constexpr int kProbeX = 20, kProbeY = kScreenHeight / 2;
// Launch on a loaded machine with a software renderer; a change reaching the screen.
constexpr auto kStartTimeout = 30s, kChangeTimeout = 20s;

// The wallpaper through the dimmer at -0.5 and -0.8: each channel scaled by 1 + brightness.
constexpr Rgb kHalf{20, 80, 110}, kFifth{8, 32, 44};

/// Every item of a com.canonical.dbusmenu layout by its labels from the root ("/Sub/Item"),
/// with its id and whether it shows a tick.
void readLayout(const QDBusArgument& argument, const QString& path,
                std::map<QString, std::pair<int, bool>>& items) {
    int id = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    const QString labels = path + properties.value(QStringLiteral("label")).toString();
    items[labels] = {id, properties.value(QStringLiteral("toggle-state")).toInt() == 1};
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        readLayout(qvariant_cast<QDBusArgument>(child.variant()), labels + '/', items);
    }
    argument.endArray();
    argument.endStructure();
}

class MenuEndToEndTest : public testing::Test {
protected:
    enum class Tray { statusNotifier, xembed };

    /// A desktop with `tray`, and the program on it with the dimmer off at -0.5, its overlay up.
    /// The XEmbed desktop has no session bus: that tray needs none, and a second instance then
    /// finds the first through the display alone.
    void start(Tray tray) {
        test::testApplication();
        desktop = std::make_unique<test::AtspiSession>(
            test::XvfbSession::Options{.width = kScreenWidth, .height = kScreenHeight});
        ASSERT_TRUE(desktop->isReady()) << desktop->failure();
        x = std::make_unique<test::X11TestDisplay>(desktop->desktop().display());
        x->setWallpaper(kWallpaper);
        environment = desktop->environment();
        const std::string directory = desktop->desktop().directory();
        if (tray == Tray::xembed) {
            environment.emplace_back("DBUS_SESSION_BUS_ADDRESS",
                                     "unix:path=" + directory + "/none");
            // Whether it takes the tray before or after Glimmora starts, the icon must come.
            trayHost = desktop->launch({"trayer", "--edge", "top", "--align", "right",
                                        "--widthtype", "request", "--height", "24"},
                                       "trayer.log", environment);
        }
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(desktop->sessionBusAddress()),
                                          QString::fromStdString(directory)));
        if (tray == Tray::statusNotifier) {
            // xfce4-panel with nothing but its tray, from a configuration of its own (so it
            // shows no first-run dialog).
            const std::string xml = directory + "/config/xfce4/xfconf/xfce-perchannel-xml";
            std::filesystem::create_directories(xml);
            std::filesystem::copy_file(XFCE4_PANEL_CONFIG, xml + "/xfce4-panel.xml");
            trayHost = desktop->launch({"xfce4-panel"}, "panel.log");
            ASSERT_TRUE(test::waitUntil(
                [&] { return watcherProperty("IsStatusNotifierHostRegistered").toBool(); },
                kStartTimeout))
                << "xfce4-panel registered no StatusNotifierItem host";
        }
        // Without isOverlayEnabled the file counts as never saved and every default applies.
        glimmora = startGlimmora(
            "isOverlayEnabled=true\nscreenBrightness=-0.5\nisScreenDimmerEnabled=false", true);
        ASSERT_TRUE(test::waitUntil(
            [&] {
                const auto window = x->findTopLevel(
                    static_cast<std::uint32_t>(glimmora->process().pid()), "Glimmora");
                overlay = window && x->isOverrideRedirect(*window) ? *window : XCB_NONE;
                return overlay != XCB_NONE || !glimmora->process().isRunning();
            },
            kStartTimeout));
        ASSERT_TRUE(glimmora->process().isRunning()) << "glimmora exited:\n" << glimmora->output();
    }

    std::unique_ptr<test::GlimmoraProcess> startGlimmora(const std::string& settings,
                                                         bool writesSettings) {
        return std::make_unique<test::GlimmoraProcess>(
            desktop->desktop(),
            test::GlimmoraProcess::Options{.executable = GLIMMORA_PATH,
                                           .arguments = arguments,
                                           .settings = settings,
                                           .leakSuppressions = GLIMMORA_LSAN_SUPPRESSIONS,
                                           .environment = environment,
                                           .writesSettings = writesSettings});
    }

    /// A second instance leaves, printing `why`; the first runs on.
    void secondInstanceLeaves(const std::string& why) {
        const auto second = startGlimmora("", false);
        EXPECT_TRUE(second->process().waitForExit(kChangeTimeout).has_value())
            << "a second glimmora kept running";
        EXPECT_EQ(glimmora->count(why), 1);
        EXPECT_TRUE(glimmora->process().isRunning());
    }

    double meanGrey() {
        const test::ScreenShot shot = x->screenShot();
        return std::accumulate(shot.pixels.begin(), shot.pixels.end(), 0.0,
                               [](double sum, Rgb p) { return sum + p.red + p.green + p.blue; }) /
               (3.0 * 255.0 * static_cast<double>(shot.pixels.size()));
    }

    /// Runs `glimmora ARGUMENTS...` to its end; its exit status (-1 if it did not end).
    int command(std::vector<std::string> argv) {
        argv.insert(argv.begin(), GLIMMORA_PATH);
        test::ChildProcess process(argv, environment,
                                   desktop->desktop().directory() + "/commands.log");
        const std::optional<int> status = process.waitForExit(kChangeTimeout);
        return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    }

    /// Whether the probe shows `colour` within the change timeout; what it showed is kept.
    bool screenShows(Rgb colour) {
        return test::waitUntil(
            [&] {
                seen = x->screenShot().at(kProbeX, kProbeY);
                return test::isNear(seen, colour, 3);
            },
            kChangeTimeout, {}, 100ms);
    }

    bool fileSays(const std::string& line) {
        return test::waitUntil(
            [&] { return glimmora->settingsText().find("\n" + line + "\n") != std::string::npos; },
            kChangeTimeout, {}, 50ms);
    }

    /// A menu window of the program shows: an override-redirect top-level smaller than the
    /// overlay, and above it (the overlay never shows the program's own windows).
    bool menuIsOpen() {
        const auto pid = static_cast<std::uint32_t>(glimmora->process().pid());
        return std::ranges::any_of(x->stack(), [&](xcb_window_t window) {
            return x->cardinal(window, "_NET_WM_PID") == pid && x->isViewable(window) &&
                   x->isOverrideRedirect(window) && x->rootGeometry(window).width < kScreenWidth &&
                   x->isAbove(window, overlay);
        });
    }

    /// The root position of the tray icon window of process `pid`, found anywhere below `parent`.
    std::optional<std::pair<int, int>> trayIcon(std::uint32_t pid, xcb_window_t parent) {
        xcb_connection_t* c = x->connection();
        const XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, parent), nullptr));
        for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
            const xcb_window_t child = xcb_query_tree_children(tree.get())[i];
            const test::RootRect r = x->rootGeometry(child);
            if (parent != x->root() && x->cardinal(child, "_NET_WM_PID") == pid &&
                x->isViewable(child) && r.width <= 64) {
                return std::pair(r.x + r.width / 2, r.y + r.height / 2);
            }
            if (const auto found = trayIcon(pid, child)) {
                return found;
            }
        }
        return std::nullopt;
    }

    /// A D-Bus call's reply, made the way the panel makes it.
    QDBusMessage call(const QString& service, const QString& path, const char* interface,
                      const char* method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return bus->call(message, QDBus::Block, 1000);
    }
    /// A D-Bus property's value; invalid when there is none.
    QVariant property(const QString& service, const QString& path, const char* interface,
                      const char* name) {
        const QVariantList reply = call(service, path, "org.freedesktop.DBus.Properties", "Get",
                                        {QString::fromLatin1(interface), QString::fromLatin1(name)})
                                       .arguments();
        return reply.isEmpty() ? QVariant() : reply.first().value<QDBusVariant>().variant();
    }
    QVariant watcherProperty(const char* name) {
        return property("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                        "org.kde.StatusNotifierWatcher", name);
    }

    /// The program's status item's menu as its host reads it; re-read before every click, as
    /// item ids change with each rebuild. Empty until the item is registered.
    std::map<QString, std::pair<int, bool>> exportedMenu() {
        const QStringList items = watcherProperty("RegisteredStatusNotifierItems").toStringList();
        std::map<QString, std::pair<int, bool>> layout;
        if (items.size() != 1) {
            return layout;
        }
        const QString service = items.first().section('/', 0, 0);
        const QString path = '/' + items.first().section('/', 1);
        menu = {service, property(service, path, "org.kde.StatusNotifierItem", "Menu")
                             .value<QDBusObjectPath>()
                             .path()};
        const QDBusMessage reply = menu.second.isEmpty()
                                       ? QDBusMessage()
                                       : call(menu.first, menu.second, "com.canonical.dbusmenu",
                                              "GetLayout", {0, -1, QStringList()});
        if (reply.arguments().size() == 2) {
            readLayout(reply.arguments().at(1).value<QDBusArgument>(), QString(), layout);
        }
        return layout;
    }

    /// Clicks the item at `labels` the way a panel does; false when it is not in the menu.
    bool click(const char* labels) {
        const auto layout = exportedMenu();
        const auto item = layout.find(QString::fromUtf8(labels));
        return item != layout.end() &&
               call(menu.first, menu.second, "com.canonical.dbusmenu", "Event",
                    {item->second.first, QStringLiteral("clicked"),
                     QVariant::fromValue(QDBusVariant(0)), 0u})
                       .type() == QDBusMessage::ReplyMessage;
    }

    std::unique_ptr<test::AtspiSession> desktop;
    std::unique_ptr<test::X11TestDisplay> x;
    std::unique_ptr<QDBusConnection> bus;
    std::unique_ptr<test::ChildProcess> trayHost;
    std::unique_ptr<test::GlimmoraProcess> glimmora;
    test::ChildProcess::Environment environment;
    std::vector<std::string> arguments;  // the program's command line
    xcb_window_t overlay = XCB_NONE;
    std::pair<QString, QString> menu;  // the exported menu's service and path
    Rgb seen;                          // what the probe showed last
};

TEST_F(MenuEndToEndTest, StatusNotifierHostClicksAndTheCommandLineReachTicksFileAndScreen) {
    ASSERT_NO_FATAL_FAILURE(start(Tray::statusNotifier));
    ASSERT_TRUE(test::waitUntil([&] { return !exportedMenu().empty(); }, kStartTimeout))
        << "no status item with a menu was registered";
    ASSERT_TRUE(screenShows(kWallpaper)) << seen;

    constexpr const char* kEnable = "/🌙 Screen Dimmer/Enable Screen Dimmer";
    ASSERT_TRUE(click(kEnable));
    EXPECT_TRUE(test::waitUntil([&] { return exportedMenu()[QString::fromUtf8(kEnable)].second; },
                                kChangeTimeout))
        << "no tick";
    EXPECT_TRUE(fileSays("isScreenDimmerEnabled=true"));
    EXPECT_TRUE(screenShows(kHalf)) << seen;

    EXPECT_EQ(command({"--menu"}), 0);
    EXPECT_TRUE(test::waitUntil([&] { return menuIsOpen(); }, kChangeTimeout));
    EXPECT_EQ(command({"--set", "screenBrightness=dark"}), 2);
    EXPECT_EQ(command({"--set", "screenBrightness=-0.8"}), 0);
    EXPECT_TRUE(screenShows(kFifth)) << seen;
    EXPECT_TRUE(fileSays("screenBrightness=-0.8"));

    secondInstanceLeaves("Glimmora is already running");
    EXPECT_EQ(command({"--quit"}), 0);
    EXPECT_TRUE(glimmora->process().waitForExit(kChangeTimeout).has_value());
}

TEST_F(MenuEndToEndTest, XEmbedTrayIconOpensTheMenuForTheKeyboardAndTheDisplayHoldsOneInstance) {
    ASSERT_NO_FATAL_FAILURE(start(Tray::xembed));
    std::optional<std::pair<int, int>> icon;
    ASSERT_TRUE(test::waitUntil(
        [&] { return (icon = trayIcon(glimmora->process().pid(), x->root())).has_value(); },
        kStartTimeout))
        << "no icon in the tray";
    // A click can come before the icon has settled in the tray (embedding is a conversation
    // between two programs): it is repeated until the menu opens.
    ASSERT_TRUE(test::waitUntil(
        [&] {
            desktop->run({"xdotool", "mousemove", std::to_string(icon->first),
                          std::to_string(icon->second), "click", "3"});
            return test::waitUntil([&] { return menuIsOpen(); }, 3s);
        },
        kChangeTimeout));
    // The seventh item is "🌙 Screen Dimmer"; Right opens it on "Enable Screen Dimmer".
    ASSERT_TRUE(desktop->run({"xdotool", "key", "--delay", "100", "Down", "Down", "Down", "Down",
                              "Down", "Down", "Down", "Right", "Return"}));
    EXPECT_TRUE(fileSays("isScreenDimmerEnabled=true"));
    ASSERT_TRUE(screenShows(kHalf)) << seen;
    // The grey is that of the desktop alone once the menu has gone.
    ASSERT_TRUE(test::waitUntil([&] { return !menuIsOpen(); }, kChangeTimeout));

    const double one = meanGrey();
    secondInstanceLeaves("Another Glimmora already shows its overlay");
    // Two overlays would feed on each other's pictures towards black within seconds.
    for (int sample = 0; sample < 10; ++sample) {
        std::this_thread::sleep_for(300ms);
        EXPECT_NEAR(meanGrey(), one, 0.01);
    }
}

/// Debian's recorded webcam inset, cut out and scaled as a webcam frames a face, `passes` times
/// over: the camera the gaze tests look through.
bool writeWebcamClip(const std::string& path, int passes) {
    cv::VideoWriter writer(path, cv::CAP_OPENCV_MJPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                           30, cv::Size(640, 480));
    for (int pass = 0; pass < passes && writer.isOpened(); ++pass) {
        cv::VideoCapture recording(GLIMMORA_WEBCAM_CLIP);
        for (cv::Mat frame, webcam; recording.read(frame);) {
            cv::resize(frame(cv::Rect(90, 60, 300, 225)), webcam, cv::Size(640, 480));
            writer.write(webcam);
        }
    }
    return writer.isOpened();
}

/// How many pixels within `radius` of (cx, cy) are within `tolerance` of `colour`, and where
/// their centre lies.
struct Blob {
    int count = 0;
    double x = 0, y = 0;
};
Blob blob(const test::ScreenShot& shot, Rgb colour, int tolerance, double cx, double cy,
          int radius) {
    Blob found;
    for (int y = std::max(0, int(cy) - radius); y <= std::min(shot.height - 1, int(cy) + radius);
         ++y) {
        for (int x = std::max(0, int(cx) - radius); x <= std::min(shot.width - 1, int(cx) + radius);
             ++x) {
            if (test::isNear(shot.at(x, y), colour, tolerance)) {
                found.x += x, found.y += y, ++found.count;
            }
        }
    }
    if (found.count > 0) {
        found.x /= found.count, found.y /= found.count;
    }
    return found;
}

TEST_F(MenuEndToEndTest, GazeFromTheMenuMovesTheBandAndCalibratesOnARecordedFace) {
    const std::string clip = testing::TempDir() + "glimmora-webcam.avi";
    ASSERT_TRUE(writeWebcamClip(clip, 6));
    arguments = {"--camera", clip};
    ASSERT_NO_FATAL_FAILURE(start(Tray::statusNotifier));
    // Colours no gaze drawing uses; the pointer where the band would otherwise sit.
    constexpr Rgb kPaper{200, 60, 130}, kGreen{52, 199, 89}, kDoneGreen{26, 100, 45},
        kCyan{50, 173, 230};
    x->setWallpaper(kPaper);
    desktop->run({"xdotool", "mousemove", "300", "120"});
    ASSERT_TRUE(
        test::waitUntil([&] { return click("/👀 Gaze Tracking/Gaze Tracking"); }, kStartTimeout));
    ASSERT_TRUE(test::waitUntil(
        [&] { return glimmora->count("GazeTracker: Capture session running: true") == 1; },
        kStartTimeout))
        << glimmora->output();
    EXPECT_EQ(glimmora->count("Gaze tracking enabled - Focus mode auto-activated"), 1);
    // The badge's dot, left of its centre (width - 120, 50), turns green with the face.
    EXPECT_TRUE(test::waitUntil(
        [&] { return blob(x->screenShot(), kGreen, 20, kScreenWidth - 160, 50, 40).count > 20; },
        kChangeTimeout));

    // The band (the undimmed rows of a bare column) sits where the marker is, and moves with it.
    // The two windows are drawn apart, so a screenshot may fall between them: most must agree.
    std::vector<double> bands;
    int agreeing = 0;
    const bool follows = test::waitUntil(
        [&] {
            const test::ScreenShot shot = x->screenShot();
            const Blob marker = blob(shot, kCyan, 25, kScreenWidth / 2, kScreenHeight / 2, 400);
            const Blob band = blob(shot, kPaper, 12, kProbeX, kScreenHeight / 2, 200);
            if (marker.count > 10 && band.count > 10 && band.y > 60 && band.y < 420) {
                bands.push_back(band.y);
                agreeing += std::abs(band.y - marker.y) <= 30;
            }
            const auto [low, high] = std::ranges::minmax(bands.empty() ? std::vector{0.0} : bands);
            return high - low > 20 && agreeing >= 3 && 2 * agreeing > int(bands.size());
        },
        kChangeTimeout, {}, 250ms);
    EXPECT_TRUE(follows) << agreeing << " of " << bands.size() << " band positions by the marker";

    // Calibration: Space leaves the title page, then records each target; the current target
    // and the done marks stand where the targets are drawn (y counted from the bottom).
    const auto target = [](int i) {
        return std::pair((0.15 + 0.35 * (i % 3)) * kScreenWidth,
                         (0.15 + 0.35 * (i / 3)) * kScreenHeight);
    };
    const auto looksLike = [&](int step) {
        const test::ScreenShot shot = x->screenShot();
        for (int i = 0; i < 9; ++i) {
            const auto [tx, ty] = target(i);
            const Blob done = blob(shot, kDoneGreen, 18, tx, ty, 12);
            const Blob current = blob(shot, kGreen, 20, tx, ty, 40);
            const bool isDone = done.count > 150 && std::hypot(done.x - tx, done.y - ty) <= 2;
            const bool isCurrent =
                current.count > 100 && std::hypot(current.x - tx, current.y - ty) <= 2;
            if (isDone != (i < step) || isCurrent != (i == step)) {
                return false;
            }
        }
        return true;
    };
    ASSERT_TRUE(click("/👀 Gaze Tracking/Calibrate Gaze…"));
    ASSERT_TRUE(test::waitUntil(
        [&] { return x->screenShot().at(kProbeX, kScreenHeight / 2) == Rgb{}; }, kChangeTimeout));
    for (int step = 0; step <= 9; ++step) {
        // A press too early (the eyes still on their way, the face lost) is refused: press again.
        std::this_thread::sleep_for(step > 0 ? 1200ms : 0ms);  // samples of the new target
        EXPECT_TRUE(test::waitUntil(
            [&] {
                desktop->run({"xdotool", "key", "space"});
                return test::waitUntil([&] { return looksLike(step); }, 1500ms, {}, 100ms);
            },
            kChangeTimeout))
            << "step " << step;
    }
    EXPECT_TRUE(test::waitUntil(
        [&] {
            return glimmora->count("GazeTracker: Calibration complete") +
                       glimmora->count("GazeTracker: Calibration failed") ==
                   1;
        },
        kChangeTimeout));
    std::filesystem::remove(clip);
}

}  // namespace
}  // namespace glimmora
