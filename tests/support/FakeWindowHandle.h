#pragma once

#include <vector>

#include "platform/WindowHandle.h"

namespace glimmora::test {

/// A window that only remembers what it was told, with the history of its levels.
class FakeWindowHandle final : public WindowHandle {
public:
    explicit FakeWindowHandle(int level) : level_(level) {}

    int level() const override { return level_; }
    void setLevel(int level) override {
        level_ = level;
        levelHistory.push_back(level);
    }
    WindowSharingType sharingType() const override { return sharingType_; }
    void setSharingType(WindowSharingType type) override {
        sharingType_ = type;
        ++sharingTypeChanges;
    }
    void setVisible(bool visible) override { visible_ = visible; }
    bool isVisible() const override { return visible_; }

    std::vector<int> levelHistory;
    int sharingTypeChanges = 0;

private:
    int level_;
    WindowSharingType sharingType_ = WindowSharingType::readOnly;
    bool visible_ = true;
};

}  // namespace glimmora::test
