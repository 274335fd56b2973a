#pragma once

#include "platform/WindowHandle.h"

namespace glimmora::test {

/// A window that only remembers what it was told: for the logic that decides levels and
/// sharing, without a display.
class FakeWindowHandle final : public WindowHandle {
public:
    explicit FakeWindowHandle(int level) : level_(level) {}

    int level() const override { return level_; }
    void setLevel(int level) override { level_ = level; }
    WindowSharingType sharingType() const override { return sharingType_; }
    void setSharingType(WindowSharingType type) override { sharingType_ = type; }
    void setVisible(bool visible) override { visible_ = visible; }
    bool isVisible() const override { return visible_; }

private:
    int level_;
    WindowSharingType sharingType_ = WindowSharingType::readOnly;
    bool visible_ = true;
};

}  // namespace glimmora::test
