#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QtGlobal>
#include <memory>
#include <vector>

#include "core/Signal.h"

namespace glimmora {

class AppDelegate;
class AppState;
class AtspiCaretSource;
class CalibrationWindowController;
class CaptureStream;
class ControlService;
class GazeCameraWorker;
class GazeStatusWindowController;
class GazeTracker;
class QtScheduler;
class X11CaptureService;
class MenuBarManager;
class MouseTracker;
class OverlayWindowController;
class TextCursorTracker;
class WindowFocusTracker;
class X11ActiveWindow;
class X11Display;
class X11InputMonitor;
class X11WindowList;
class ScreenShaderView;
class X11DesktopEvents;
class X11LocalQuitKeyMonitor;
class X11QuitHotKey;
class X11StackingKeeper;

/// The application entry: owns the delegate, takes the shared settings store, opens the one
/// window whose content is the renderer, and when that window is first shown runs the launch
/// steps that turn it into the full-screen overlay.
///
/// Launch order: the constructor creates the delegate (step one); launch() opens the content
/// window and queues the delegate's launch handler; the first expose of the window runs
/// setupApp(), which has the OverlayWindowController configure the overlay 0.5 s later. Everything
/// here lives until the process exits. Main thread only; needs a QApplication.
class GlimmoraApp : public QObject {
    Q_OBJECT

public:
    /// `cameraPath` is the camera gaze tracking reads (a V4L2 device node or a video file);
    /// empty = the first video capture device.
    explicit GlimmoraApp(const QString& cameraPath = QString());
    ~GlimmoraApp() override;

    /// Opens the content window and starts the launch sequence. Termination requests
    /// (QCoreApplication::quit, by any path) reach the delegate's terminate handler once.
    void launch();

    /// Opens the gaze calibration screen (the menu's "Calibrate Gaze…"); nothing without a gaze
    /// tracker or while it is open.
    void openGazeCalibration();

    /// Delay between the first showing of the content and the overlay configuration.
    static constexpr int kConfigureDelayMilliseconds = 500;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// When the content is first shown: the menu, then the overlay 0.5 s later.
    void setupApp();
    /// The emergency quit keys: the system-wide combination and the monitor of our own key
    /// presses. Installed by the delegate at launch, released when it terminates.
    void installQuitKeys();
    void removeQuitKeys();
    /// Starts the live desktop feed of the renderer and ties its restarts to desktop events.
    void startDesktopCapture();
    /// The pointer, window and caret trackers with their sources, ready for the renderer to
    /// start.
    void createTrackers();
    /// The global key monitor: the keys typed anywhere that Glimmora acts on, the emergency
    /// quit combination (always) and Alt+F (in other applications).
    void globalKeyPressed(std::uint32_t key, std::uint32_t modifiers);
    /// Whether Glimmora's own windows get the keys typed now (its menu is open, say).
    bool hasKeyboard() const;
    /// Reads the primary monitor's rectangle again, after the screens changed.
    void refreshPrimaryMonitor();
    /// The gaze tracker over the camera worker, with the calibration kept in the settings.
    void createGazeTracker(const QString& cameraPath);
    /// Hands the menu the gaze items' actions and rebuilds it when they change.
    void connectGazeMenu();
    /// Glimmora's own windows, which no desktop picture may contain: every Qt window with a
    /// native one, the gaze status window and the calibration screen included, so that the
    /// overlay never draws them again through its effects.
    std::vector<quint32> ownWindowIds() const;
    /// A new gaze status window in place of the previous one (which closes); on each switch-on of
    /// gaze tracking.
    void createGazeOverlayWindow();

    std::unique_ptr<AppDelegate> appDelegate_;
    AppState& appState_;
    // The gaze tracker outlives the renderer and the menu, which read it; its camera outlives
    // the tracker, which stops it.
    std::unique_ptr<GazeCameraWorker> gazeCamera_;
    std::unique_ptr<GazeTracker> gazeTracker_;
    /// The status-bar menu: empty until setupApp() creates it.
    std::shared_ptr<MenuBarManager> menuBarManager_;
    /// The control interface on the session bus, published with the menu it drives.
    std::unique_ptr<ControlService> controlService_;

    std::unique_ptr<X11QuitHotKey> quitHotKey_;
    std::unique_ptr<X11LocalQuitKeyMonitor> localQuitKeys_;
    std::unique_ptr<X11DesktopEvents> desktopEvents_;
    std::unique_ptr<X11StackingKeeper> stackingKeeper_;
    // The trackers and their sources outlive the renderer, which stops them when it goes.
    std::unique_ptr<X11InputMonitor> inputMonitor_;
    std::unique_ptr<X11Display> windowListDisplay_;
    std::unique_ptr<X11WindowList> windowList_;
    std::unique_ptr<MouseTracker> mouseTracker_;
    std::unique_ptr<WindowFocusTracker> windowFocusTracker_;
    // The caret: the active window is read on the caret source's thread, which ends before it.
    std::unique_ptr<X11ActiveWindow> activeWindow_;
    std::unique_ptr<AtspiCaretSource> caretSource_;
    std::unique_ptr<TextCursorTracker> textCursorTracker_;
    /// The primary monitor in pixels of the X screen, kept current for the trackers, which
    /// normalise every position to it.
    QRect primaryMonitor_;
    std::unique_ptr<ScreenShaderView> contentWindow_;
    /// Makes the content window the overlay and keeps it on the primary monitor; declared after
    /// the window and the stacking keeper, which it refers to.
    std::unique_ptr<OverlayWindowController> overlayWindow_;
    std::unique_ptr<QtScheduler> scheduler_;
    std::unique_ptr<X11CaptureService> captureService_;
    std::unique_ptr<CaptureStream> captureStream_;
    std::unique_ptr<GazeStatusWindowController> gazeStatusWindow_;
    std::unique_ptr<CalibrationWindowController> calibrationWindow_;
    /// Rebuilds the menu when the tracker's calibration changes.
    Subscription gazeMenuRefresh_;
    bool hasRunSetup_ = false;
};

}  // namespace glimmora
