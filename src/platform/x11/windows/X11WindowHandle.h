#pragma once

#include <QPointer>
#include <QWindow>
#include <cstdint>

#include "platform/WindowHandle.h"

namespace glimmora {

class X11StackingKeeper;

/// A real overlay window behind the WindowHandle interface: a Qt window whose level becomes
/// its stacking class in the keeper.
///
/// X11 has no per-window screen-capture exclusion: the requested sharing type is recorded and
/// reported back, nothing more, and other capture programs still see the window.
class X11WindowHandle final : public WindowHandle {
public:
    /// `window` must be an override-redirect top-level (see X11OverlayWindow); `keeper` must
    /// outlive the handle. The window starts at the normal level until setLevel().
    X11WindowHandle(QWindow& window, X11StackingKeeper& keeper);
    ~X11WindowHandle() override;

    int level() const override { return level_; }
    void setLevel(int level) override;

    WindowSharingType sharingType() const override { return sharingType_; }
    void setSharingType(WindowSharingType type) override { sharingType_ = type; }

    void setVisible(bool visible) override;
    bool isVisible() const override;

    QWindow* window() const { return window_; }

private:
    /// Tells the keeper the window's current X id and level; Qt may give the window a new X
    /// window when it is shown again.
    void syncWithKeeper();

    QPointer<QWindow> window_;
    X11StackingKeeper& keeper_;
    std::uint32_t registeredId_ = 0;
    int level_ = WindowLevel::normal;
    WindowSharingType sharingType_ = WindowSharingType::readOnly;
};

}  // namespace glimmora
