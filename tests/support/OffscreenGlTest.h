#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <memory>
#include <string>

#include "platform/egl/EglOffscreenContext.h"

namespace glimmora::test {

/// A suite that draws with OpenGL: one offscreen context (EGL, no display server) per suite,
/// current in every test; each test is skipped, with the reason, where the machine has none.
class OffscreenGlTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QString error;
        context_ = EglOffscreenContext::create(&error);
        contextError_ = error.toStdString();
    }
    static void TearDownTestSuite() { context_.reset(); }

    void SetUp() override {
        if (!context_) {
            GTEST_SKIP() << "no offscreen OpenGL context: " << contextError_;
        }
        context_->makeCurrent();
    }

    static inline std::unique_ptr<EglOffscreenContext> context_;
    static inline std::string contextError_;
};

}  // namespace glimmora::test
