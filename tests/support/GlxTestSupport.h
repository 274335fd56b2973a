#pragma once

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <memory>
#include <optional>
#include <string>

#include "platform/x11/capture/CapturePath.h"
#include "platform/x11/capture/X11CaptureService.h"
#include "support/CaptureTestSupport.h"
#include "support/XvfbFixture.h"

namespace glimmora::test {

/// The program's one Xvfb (with GLX and Composite) and a QGuiApplication on it through the xcb
/// platform, with an OpenGL 3.3 core context current on an offscreen surface: the kind of GLX
/// context the overlay window gets. Qt speaks to a single display per process, so every test of
/// the program shares this desktop; each test removes its windows again (its TestDesktop
/// connection closes).
class GlxSession : public ::testing::Environment {
public:
    static constexpr QSize kScreenSize{640, 480};

    static GlxSession& shared() {
        static GlxSession* session = [] {
            auto* made = new GlxSession;
            ::testing::AddGlobalTestEnvironment(made);  // gtest owns it and tears it down
            return made;
        }();
        return *session;
    }

    void SetUp() override {
        if (server_ || !failure_.empty()) {
            return;
        }
        server_ = std::make_unique<XvfbServer>(kScreenSize);
        if (!server_->isRunning()) {
            failure_ = "Xvfb did not start";
            return;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", server_->displayName().toLocal8Bit());
        static int argc = 1;
        static char name[] = "glx-capture-test";
        static char* argv[] = {name, nullptr};
        application_ = std::make_unique<QGuiApplication>(argc, argv);
        QSurfaceFormat format;
        format.setVersion(3, 3);
        format.setProfile(QSurfaceFormat::CoreProfile);
        surface_ = std::make_unique<QOffscreenSurface>();
        surface_->setFormat(format);
        surface_->create();
        context_ = std::make_unique<QOpenGLContext>();
        context_->setFormat(format);
        if (!context_->create() || !context_->makeCurrent(surface_.get())) {
            failure_ = "no OpenGL context on the test display";
        }
    }

    void TearDown() override {
        if (context_) {
            context_->doneCurrent();
        }
        context_.reset();
        surface_.reset();
        application_.reset();
        server_.reset();
    }

    /// Empty when the display and the context are ready.
    const std::string& failure() const { return failure_; }
    QString displayName() const { return server_ ? server_->displayName() : QString(); }
    void makeCurrent() { context_->makeCurrent(surface_.get()); }

private:
    std::unique_ptr<XvfbServer> server_;
    std::unique_ptr<QGuiApplication> application_;
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLContext> context_;
    std::string failure_;
};

/// A capture stream of the whole test display on the given path, recording what it delivers.
class CaptureRun {
public:
    CaptureRun(const QString& displayName, CapturePath path,
               std::optional<quint32> excluded = std::nullopt)
        : service_(displayName) {
        service_.setPreferredPath(path);
        service_.setZeroCopyAvailable([] { return true; });
        QString error;
        CaptureConfiguration configuration;
        configuration.width = GlxSession::kScreenSize.width();
        configuration.height = GlxSession::kScreenSize.height();
        stream_ = service_.makeStream({configuration.width, configuration.height}, excluded,
                                      configuration, delegate, &error);
        if (!stream_) {
            failure_ = error.toStdString();
            return;
        }
        auto outcome = std::make_shared<std::optional<std::optional<QString>>>();
        stream_->start([outcome](std::optional<QString> failed) { *outcome = failed; });
        if (!waitUntil([&] { return outcome->has_value(); })) {
            failure_ = "the stream did not start";
        } else if (outcome->value()) {
            failure_ = outcome->value()->toStdString();
        }
    }

    /// Empty when the stream runs.
    const std::string& failure() const { return failure_; }
    /// Ends the stream's delivery; what it delivered stays recorded.
    void stop() { stream_.reset(); }

    RecordingDelegate delegate;

private:
    X11CaptureService service_;
    std::unique_ptr<CaptureStreamSession> stream_;
    std::string failure_;
};

}  // namespace glimmora::test
