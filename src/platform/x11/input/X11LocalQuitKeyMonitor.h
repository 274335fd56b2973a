#pragma once

#include <QObject>
#include <functional>

class QKeyEvent;

namespace glimmora {

/// The quit keys while Glimmora itself has the keyboard (its menu open, for one): an
/// application-wide event filter that swallows Control+Alt+Super+Escape and posts a quit
/// request, and swallows a bare Escape and quits at once. Every other key is delivered as
/// usual.
///
/// Main thread only. Installed on the application while it exists.
class X11LocalQuitKeyMonitor : public QObject {
public:
    /// `postQuit` queues a quit request; `quitNow` quits at once. Empty ones use
    /// QCoreApplication::quit, queued or direct.
    explicit X11LocalQuitKeyMonitor(std::function<void()> postQuit = {},
                                    std::function<void()> quitNow = {});

    /// Starts or stops watching the application's key presses.
    void install();
    void remove();

    /// Handles one key press; true when it was a quit key and must not be delivered.
    bool handleKeyPress(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> postQuit_;
    std::function<void()> quitNow_;
    bool isInstalled_ = false;
};

}  // namespace glimmora
