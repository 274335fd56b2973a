#include "app/GlimmoraApp.h"

#include <unistd.h>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include <algorithm>

#include "app/AppDelegate.h"
#include "app/CalibrationWindowController.h"
#include "app/ControlService.h"
#include "app/GazeStatusWindowController.h"
#include "app/OverlayWindowController.h"
#include "app/WindowManager.h"
#include "capture/CaptureStream.h"
#include "core/Log.h"
#include "core/MonotonicClock.h"
#include "core/QtRepeatingTimer.h"
#include "core/QtScheduler.h"
#include "gaze/GazeTracker.h"
#include "gaze/vision/GazeCameraWorker.h"
#include "menu/MenuBarManager.h"
#include "platform/atspi/AtspiCaretSource.h"
#include "platform/x11/capture/GlxSceneCompositor.h"
#include "platform/x11/capture/X11CaptureService.h"
#include "platform/x11/connection/X11Display.h"
#include "platform/x11/input/X11InputMonitor.h"
#include "platform/x11/input/X11LocalQuitKeyMonitor.h"
#include "platform/x11/input/X11QuitHotKey.h"
#include "platform/x11/windows/GlxAreaPresenter.h"
#include "platform/x11/windows/X11ActiveWindow.h"
#include "platform/x11/windows/X11DesktopEvents.h"
#include "platform/x11/windows/X11StackingKeeper.h"
#include "platform/x11/windows/X11WindowList.h"
#include "render/OverlayRenderer.h"
#include "render/ScreenShaderView.h"
#include "settings/AppState.h"
#include "settings/ProfileScheduler.h"
#include "trackers/MouseTracker.h"
#include "trackers/QuitKeys.h"
#include "trackers/TextCursorTracker.h"
#include "trackers/WindowFocusTracker.h"

namespace glimmora {
namespace {

// The ordinary window's size before it becomes the overlay.
constexpr QSize kInitialWindowSize{800, 600};

// Qt's own X connection: requests on it are ordered with Qt's mapping of our windows.
xcb_connection_t* qtConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

}  // namespace

GlimmoraApp::GlimmoraApp(const QString& cameraPath)
    : appDelegate_(std::make_unique<AppDelegate>(
          AppState::shared(),
          GazeTrackingHooks{.startTracking = [this] { gazeTracker_->startTracking(); },
                            .stopTracking = [this] { gazeTracker_->stopTracking(); },
                            .createGazeOverlayWindow = [this] { createGazeOverlayWindow(); }},
          EscapeHatchHooks{.install = [this] { installQuitKeys(); },
                           .remove = [this] { removeQuitKeys(); }})),
      appState_(AppState::shared()) {
    createGazeTracker(cameraPath);
}

GlimmoraApp::~GlimmoraApp() {
    // The delegate's hooks refer to the quit keys below: it goes first.
    appDelegate_.reset();
    // The gaze windows' handles refer to the stacking keeper.
    calibrationWindow_.reset();
    gazeStatusWindow_.reset();
    // The capture delivers into the renderer's hand-over: it stops before the window goes.
    captureStream_.reset();
    // The registered handle refers to the stacking keeper, which goes with this object.
    overlayWindow_.reset();
}

void GlimmoraApp::launch() {
    desktopEvents_ = std::make_unique<X11DesktopEvents>();
    stackingKeeper_ = std::make_unique<X11StackingKeeper>(qtConnection());
    desktopEvents_->onTopLevelChanged = [this](const TopLevelChange& change) {
        stackingKeeper_->topLevelChanged(change);
    };
    createTrackers();
    contentWindow_ = std::make_unique<ScreenShaderView>(appState_, &MonotonicClock::now);
    contentWindow_->renderer().startTrackers(mouseTracker_.get(), windowFocusTracker_.get(),
                                             textCursorTracker_.get());
    contentWindow_->renderer().setGazeTracker(gazeTracker_.get());
    // The zero-copy capture: the renderer composes the windows' pixmaps itself, in its GLX
    // context on Qt's connection. It is initialised with the window's context.
    if (std::unique_ptr<GlxSceneCompositor> compositor = GlxSceneCompositor::forApplication()) {
        contentWindow_->renderer().setSceneCompositor(std::move(compositor));
    }
    contentWindow_->setPresenterFactory(&GlxAreaPresenter::forCurrentContext);
    contentWindow_->setTitle(QStringLiteral("Glimmora"));
    contentWindow_->resize(kInitialWindowSize);
    contentWindow_->installEventFilter(this);
    overlayWindow_ = std::make_unique<OverlayWindowController>(*contentWindow_, appState_,
                                                               *stackingKeeper_, qtConnection(),
                                                               [this] { refreshPrimaryMonitor(); });

    contentWindow_->show();
    startDesktopCapture();

    QObject::connect(qApp, &QCoreApplication::aboutToQuit, this,
                     [this] { appDelegate_->applicationWillTerminate(); });
    // The platform's "did finish launching": the first turn of the event loop.
    QTimer::singleShot(0, this, [this] { appDelegate_->applicationDidFinishLaunching(); });
}

void GlimmoraApp::createTrackers() {
    inputMonitor_ = std::make_unique<X11InputMonitor>();
    refreshPrimaryMonitor();
    const auto monitor = [this]() -> std::optional<Rect> {
        if (primaryMonitor_.isEmpty()) {
            return std::nullopt;
        }
        return Rect{static_cast<double>(primaryMonitor_.x()),
                    static_cast<double>(primaryMonitor_.y()),
                    static_cast<double>(primaryMonitor_.width()),
                    static_cast<double>(primaryMonitor_.height())};
    };
    mouseTracker_ =
        std::make_unique<MouseTracker>(appState_, monitor, [this]() -> std::optional<Point> {
            const std::optional<Point> pointer = inputMonitor_->pointerPosition();
            return pointer ? std::optional(Point{pointer->x, pointer->y}) : std::nullopt;
        });
    inputMonitor_->onPointerMoved = [this](Point position) {
        mouseTracker_->pointerMoved(position.x, position.y);
    };
    inputMonitor_->onLeftButtonPressed = [this] { mouseTracker_->leftButtonPressed(); };
    inputMonitor_->onKeyPressed = [this](KeySymbol key, ModifierMask modifiers) {
        globalKeyPressed(key, modifiers);
    };
    // Without XInput 2.2 the pointer is not followed: the band and spotlight stay centred.
    inputMonitor_->start();

    // The window list is read on a connection of its own: a reply awaited on the events'
    // connection would pull their events off the socket unannounced.
    QString error;
    windowListDisplay_ = X11Display::open(QString(), &error);
    if (windowListDisplay_) {
        windowList_ = std::make_unique<X11WindowList>(windowListDisplay_->connection(),
                                                      windowListDisplay_->root());
    }
    windowFocusTracker_ = std::make_unique<WindowFocusTracker>(
        appState_,
        [this] { return windowList_ ? windowList_->frontToBack() : std::vector<WindowRecord>{}; },
        [monitor]() -> std::optional<Rect> {
            const std::optional<Rect> rect = monitor();
            if (!rect) {
                return std::nullopt;
            }
            return Rect{rect->x, rect->y, rect->width, rect->height};
        },
        static_cast<std::int32_t>(::getpid()),
        std::make_unique<QtRepeatingTimer>(Qt::PreciseTimer));
    desktopEvents_->onActiveWindowChanged = [this] { windowFocusTracker_->activationChanged(); };

    activeWindow_ = std::make_unique<X11ActiveWindow>();
    caretSource_ = std::make_unique<AtspiCaretSource>(AtspiCaretSource::Options{
        .sessionBusAddress = {},
        .activeTopLevel = [window = activeWindow_.get()]() -> std::optional<ActiveTopLevel> {
            const std::optional<X11ActiveWindow::Window> active = window->read();
            return active ? std::optional(ActiveTopLevel{active->pid, active->contentOrigin})
                          : std::nullopt;
        }});
    textCursorTracker_ = std::make_unique<TextCursorTracker>(
        appState_, *caretSource_, monitor, std::make_unique<QtRepeatingTimer>(Qt::PreciseTimer));
}

void GlimmoraApp::createGazeTracker(const QString& cameraPath) {
    gazeCamera_ = std::make_unique<GazeCameraWorker>(
        GazeCameraWorker::Options{.cameraPath = cameraPath.toStdString()});
    std::optional<GazeCalibration> saved;
    if (appState_.isGazeCalibrated()) {
        saved = GazeCalibration{
            appState_.gazeCalibrationSlopeX(), appState_.gazeCalibrationInterceptX(),
            appState_.gazeCalibrationSlopeY(), appState_.gazeCalibrationInterceptY()};
    }
    gazeTracker_ = std::make_unique<GazeTracker>(
        *gazeCamera_,
        GazeTracker::Environment{
            .clock = &MonotonicClock::now,
            // The gaze point is in pixels of the primary monitor, the screen the band covers.
            .display = [this]() -> std::optional<DisplaySize> {
                if (primaryMonitor_.isEmpty()) {
                    return std::nullopt;
                }
                return DisplaySize{static_cast<double>(primaryMonitor_.width()),
                                   static_cast<double>(primaryMonitor_.height())};
            },
            .postToMainThread =
                [this](std::function<void()> task) {
                    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
                },
            .savedCalibration = saved,
            // Written to the store, which the menu's refresh saves with the other settings.
            .calibrationChanged =
                [this](const std::optional<GazeCalibration>& calibration) {
                    const GazeCalibration c = calibration.value_or(GazeCalibration{});
                    appState_.gazeCalibrationSlopeX = static_cast<float>(c.slopeX);
                    appState_.gazeCalibrationInterceptX = static_cast<float>(c.interceptX);
                    appState_.gazeCalibrationSlopeY = static_cast<float>(c.slopeY);
                    appState_.gazeCalibrationInterceptY = static_cast<float>(c.interceptY);
                    appState_.isGazeCalibrated = calibration.has_value();
                }});
}

void GlimmoraApp::connectGazeMenu() {
    // Calibrating needs the camera: "Calibrate Gaze…" switches gaze tracking on first.
    menuBarManager_->actions().setGazeHooks(
        {.calibrate =
             [this] {
                 if (!appState_.isGazeTrackingEnabled()) {
                     appState_.isGazeTrackingEnabled = true;
                 }
                 openGazeCalibration();
             },
         .resetCalibration = [this] { gazeTracker_->resetCalibration(); },
         .isCalibrated = [this] { return gazeTracker_->isCalibrated(); }});
    // Only what the menu shows: every frame's point would keep the debounced rebuild (and the
    // settings' save, which shares it) from ever coming while a face is tracked.
    gazeMenuRefresh_ = gazeTracker_->isCalibrated.sinkChanges(
        [this](const bool&) { menuBarManager_->gazeTrackerWillChange(); });
}

void GlimmoraApp::refreshPrimaryMonitor() {
    if (inputMonitor_) {
        primaryMonitor_ = inputMonitor_->primaryMonitor();
    }
}

void GlimmoraApp::globalKeyPressed(std::uint32_t key, std::uint32_t modifiers) {
    // The combination quits whatever else holds the keyboard: the system-wide key may be held
    // by another program, or a keyboard grab (a game, a virtual machine's viewer, another
    // program's open menu, a screen locker) may take the press before it, and raw key events
    // still arrive then. When the system-wide key quits as well, the second request is harmless.
    if (isGlobalQuitCombination(key, modifiers)) {
        logLine("🚨 Emergency escape hotkey triggered! Quitting app...");
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
        return;
    }
    // Alt+F acts on keys typed in other applications: while Glimmora itself has the keyboard
    // (its menu open) its own key handling decides.
    if (MouseTracker::isFocusToggleKey(key, modifiers) && !hasKeyboard()) {
        mouseTracker_->keyPressed(key, modifiers);
    }
}

bool GlimmoraApp::hasKeyboard() const {
    // An open menu grabs the keyboard without taking the focus.
    if (QApplication::activePopupWidget() != nullptr) {
        return true;
    }
    // Asked of the server, not of Qt: Qt counts a window as active once it was given the
    // focus, and the overlay, which never takes it, can look active when it is first shown.
    const xcb_window_t focus = inputMonitor_->inputFocus();
    if (focus == XCB_NONE) {
        return false;
    }
    const QWindowList windows = QGuiApplication::allWindows();
    return std::any_of(windows.begin(), windows.end(), [focus](const QWindow* window) {
        return window->handle() != nullptr && window->winId() == focus;
    });
}

void GlimmoraApp::installQuitKeys() {
    // The system-wide key, grabbed on its own thread and connection; the global monitor of
    // other applications' keys is globalKeyPressed().
    quitHotKey_ = std::make_unique<X11QuitHotKey>();
    quitHotKey_->install();
    localQuitKeys_ = std::make_unique<X11LocalQuitKeyMonitor>();
    localQuitKeys_->install();
    logLine(
        "✅ Escape hatch hotkey registered: Ctrl+Alt+Super+Escape (or just Escape when menu is "
        "open)");
}

void GlimmoraApp::removeQuitKeys() {
    if (localQuitKeys_) {
        localQuitKeys_->remove();
    }
    if (quitHotKey_) {
        quitHotKey_->remove();
    }
}

void GlimmoraApp::startDesktopCapture() {
    scheduler_ = std::make_unique<QtScheduler>();
    captureService_ = std::make_unique<X11CaptureService>();
    captureService_->setOwnWindows([this] { return ownWindowIds(); });
    // Zero-copy whenever the renderer can compose scenes by the time a stream is made, which
    // is after its window's first frame, except on a software rasteriser: there a bound pixmap
    // is copied anyway and composed on the CPU, which measured three (a full-screen window
    // changing) to eight times (a smaller one) the CPU time of the copying path, where the X
    // server composes and only the changed region is drawn (bench/overlay-bench).
    captureService_->setZeroCopyAvailable([this] {
        return contentWindow_ && contentWindow_->renderer().canComposeScenes() &&
               !contentWindow_->renderer().isSoftwareRenderer();
    });
    QWindow* overlay = contentWindow_.get();
    captureStream_ = std::make_unique<CaptureStream>(
        *captureService_, contentWindow_->renderer().handOver(), *scheduler_,
        std::make_unique<QtRepeatingTimer>(Qt::PreciseTimer), &MonotonicClock::now,
        [overlay]() -> std::optional<quint32> {
            if (overlay == nullptr || overlay->handle() == nullptr) {
                return std::nullopt;  // not in a native window yet
            }
            return static_cast<quint32>(overlay->winId());
        },
        [this](std::function<void()> task) {
            QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
        });

    desktopEvents_->onScreensDidWake = [this] { captureStream_->handleScreenWake(); };
    desktopEvents_->onScreenParametersChanged = [this] {
        refreshPrimaryMonitor();
        captureStream_->handleScreenWake();
    };
    desktopEvents_->onWindowRestored = [this](std::uint32_t) {
        captureStream_->handleWindowRestore();
    };
    captureStream_->startCapture();
}

std::vector<quint32> GlimmoraApp::ownWindowIds() const {
    std::vector<quint32> ids;
    for (const QWindow* window : QGuiApplication::allWindows()) {
        if (window->handle() != nullptr) {
            ids.push_back(static_cast<quint32>(window->winId()));
        }
    }
    return ids;
}

void GlimmoraApp::createGazeOverlayWindow() {
    if (!gazeTracker_ || !stackingKeeper_) {
        return;
    }
    // The previous window goes first: its end takes it out of the WindowManager, which then
    // holds the new one.
    gazeStatusWindow_.reset();
    gazeStatusWindow_ = std::make_unique<GazeStatusWindowController>(
        *gazeTracker_, appState_, *stackingKeeper_, qtConnection());
}

void GlimmoraApp::openGazeCalibration() {
    if (!gazeTracker_ || !stackingKeeper_) {
        return;
    }
    if (!calibrationWindow_) {
        calibrationWindow_ = std::make_unique<CalibrationWindowController>(
            *gazeTracker_, *stackingKeeper_, qtConnection(), &MonotonicClock::now);
    }
    calibrationWindow_->open();
}

bool GlimmoraApp::eventFilter(QObject* watched, QEvent* event) {
    if (watched == contentWindow_.get() && event->type() == QEvent::Expose && !hasRunSetup_ &&
        contentWindow_->isExposed()) {
        hasRunSetup_ = true;
        setupApp();
    }
    return QObject::eventFilter(watched, event);
}

void GlimmoraApp::setupApp() {
    menuBarManager_ = std::make_shared<MenuBarManager>(appState_, WindowManager::shared(),
                                                       ProfileScheduler::shared());
    controlService_ = std::make_unique<ControlService>(
        appState_, menuBarManager_->actions(), [this] { menuBarManager_->popUpAtPointer(); });
    controlService_->publish();
    connectGazeMenu();
    // The menu's windows stand above the overlay while they are open.
    connect(menuBarManager_.get(), &MenuBarManager::menuWindowShown, this, [this](quint32 window) {
        stackingKeeper_->setLevel(window, WindowLevel::aboveOverlay);
    });
    connect(menuBarManager_.get(), &MenuBarManager::menuWindowHidden, this,
            [this](quint32 window) { stackingKeeper_->forget(window); });
    QTimer::singleShot(kConfigureDelayMilliseconds, Qt::PreciseTimer, this,
                       [this] { overlayWindow_->configure(); });
}

}  // namespace glimmora
