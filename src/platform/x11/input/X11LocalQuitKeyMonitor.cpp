#include "platform/x11/input/X11LocalQuitKeyMonitor.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <utility>

#include "core/Log.h"
#include "platform/x11/input/X11Modifiers.h"
#include "trackers/QuitKeys.h"

namespace glimmora {
namespace {

/// Our modifier bits for a key press: the X state Qt kept (which knows CapsLock), or Qt's own
/// modifiers where there is none. NumLock's bit cannot be told apart from the other ModN bits
/// here, and it never decides anything for these keys.
ModifierMask modifiersOf(const QKeyEvent& event) {
    if (event.nativeModifiers() != 0) {
        return fromXModifiers(static_cast<std::uint16_t>(event.nativeModifiers()), 0);
    }
    const Qt::KeyboardModifiers qt = event.modifiers();
    ModifierMask modifiers = kNoModifiers;
    if (qt.testFlag(Qt::ShiftModifier)) {
        modifiers |= kShift;
    }
    if (qt.testFlag(Qt::ControlModifier)) {
        modifiers |= kControl;
    }
    if (qt.testFlag(Qt::AltModifier)) {
        modifiers |= kAlt;
    }
    if (qt.testFlag(Qt::MetaModifier)) {
        modifiers |= kSuper;  // Qt calls Super "Meta" on X11
    }
    return modifiers;
}

}  // namespace

X11LocalQuitKeyMonitor::X11LocalQuitKeyMonitor(std::function<void()> postQuit,
                                               std::function<void()> quitNow)
    : postQuit_(postQuit ? std::move(postQuit) : std::function<void()>([] {
          QMetaObject::invokeMethod(
              QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
      })),
      quitNow_(quitNow ? std::move(quitNow) : std::function<void()>(&QCoreApplication::quit)) {}

void X11LocalQuitKeyMonitor::install() {
    if (!isInstalled_ && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->installEventFilter(this);
        isInstalled_ = true;
    }
}

void X11LocalQuitKeyMonitor::remove() {
    if (isInstalled_ && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
    isInstalled_ = false;
}

bool X11LocalQuitKeyMonitor::handleKeyPress(const QKeyEvent& event) {
    if (event.key() != Qt::Key_Escape) {
        return false;
    }
    switch (classifyLocalKey(kKeyEscape, modifiersOf(event))) {
        case LocalQuitKey::Combination:
            logLine("🚨 Emergency escape hotkey triggered! Quitting app...");
            postQuit_();
            return true;
        case LocalQuitKey::BareEscape:
            logLine("🚨 Escape key pressed - quitting app...");
            quitNow_();
            return true;
        case LocalQuitKey::None:
            break;
    }
    return false;
}

bool X11LocalQuitKeyMonitor::eventFilter(QObject* watched, QEvent* event) {
    // Only the window that gets the key, not each parent it propagates to: one press, one quit.
    if (event->type() == QEvent::KeyPress && watched->isWindowType()) {
        if (handleKeyPress(*static_cast<QKeyEvent*>(event))) {
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace glimmora
