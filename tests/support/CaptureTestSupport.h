#pragma once

// For the X11 capture suites: a desktop with an OpenGL context like the overlay's, a recording
// delegate, a stream of a display, and fixtures for a private server and the shared desktop.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "capture/DesktopPicture.h"
#include "platform/x11/capture/GlxSceneCompositor.h"
#include "platform/x11/capture/X11CaptureService.h"
#include "render/OffscreenTarget.h"
#include "support/TestApplication.h"
#include "support/X11TestDisplay.h"
#include "support/XvfbSession.h"

namespace glimmora {

inline void PrintTo(CapturePath path, std::ostream* out) {
    *out << (path == CapturePath::ZeroCopy ? "ZeroCopy" : "Copying");
}

}  // namespace glimmora

namespace glimmora::test {

using namespace std::chrono_literals;

/// A private Xvfb and a QGuiApplication on it with a current OpenGL 3.3 core context, as the
/// overlay gets. Qt speaks to one display per process, so every test of the program shares it.
class GlDesktop : public ::testing::Environment {
public:
    void SetUp() override {
        session_ = std::make_unique<XvfbSession>(
            XvfbSession::Options{.width = 640, .height = 480, .windowManager = false});
        if (!session_->isReady()) {
            failure_ = session_->failure();
            return;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("DISPLAY", QByteArray::fromStdString(session_->display()));
        QSurfaceFormat format;
        format.setVersion(3, 3);
        format.setProfile(QSurfaceFormat::CoreProfile);
        QSurfaceFormat::setDefaultFormat(format);
        gl_ = std::make_unique<Gl>();
        if (!gl_->context.create() || !makeCurrent()) {
            failure_ = "no OpenGL context on the test display";
        }
    }
    void TearDown() override { gl_.reset(), session_.reset(); }

    const std::string& failure() const { return failure_; }
    const std::string& display() const { return session_->display(); }
    bool makeCurrent() { return gl_->context.makeCurrent(&gl_->surface); }

private:
    struct Gl {
        Gl() { surface.create(); }
        int argc = 1;
        char name[22] = "glimmora-capture-test";
        char* argv[2] = {name, nullptr};
        QGuiApplication application{argc, argv};
        QOffscreenSurface surface;
        QOpenGLContext context;
    };
    std::unique_ptr<XvfbSession> session_;
    std::unique_ptr<Gl> gl_;
    std::string failure_;
};

/// Made before main(); gtest owns it.
inline GlDesktop* const glDesktop =
    static_cast<GlDesktop*>(::testing::AddGlobalTestEnvironment(new GlDesktop));

class RecordingDelegate final : public CaptureStreamDelegate {
public:
    struct Record {
        int pictures = 0;  // pictures or scenes
        int signsOfLife = 0;
        DesktopPicture latest;  // a copy of the picture: the stream's own goes back to it
        std::optional<QString> stopError;
    };

    void didOutputSample(const CaptureSample& sample) override {
        const std::lock_guard lock(mutex_);
        ++(sample.hasPicture() ? record_.pictures : record_.signsOfLife);
        if (sample.hasPicture()) {
            record_.latest = {sample.picture.copy(), sample.scene, sample.changed};
        }
    }
    void didStopWithError(const QString& error) override {
        const std::lock_guard lock(mutex_);
        record_.stopError = error;
    }
    Record record() const {
        const std::lock_guard lock(mutex_);
        return record_;
    }

private:
    mutable std::mutex mutex_;
    Record record_;
};

/// A capture stream of a display's primary monitor on one path.
struct CaptureRun {
    CaptureRun(const std::string& display, CapturePath path)
        : service(QString::fromStdString(display)) {
        service.setPreferredPath(path);
        service.setZeroCopyAvailable([] { return true; });
    }

    /// The shareable content, or nothing and why not; it comes from the event loop.
    std::optional<ShareableContent> query(QString* error) {
        using Answer = std::pair<std::optional<ShareableContent>, QString>;
        auto answer = std::make_shared<std::optional<Answer>>();
        service.queryShareableContent([answer](auto content, QString why) {
            *answer = Answer{content, why};
        });
        EXPECT_FALSE(answer->has_value()) << "answered before the query returned";
        waitUntil([&] { return answer->has_value(); }, 3s, pumpQtEvents);
        *error = answer->value_or(Answer{std::nullopt, "no answer"}).second;
        return answer->value_or(Answer{}).first;
    }

    /// Starts the stream leaving `excluded` out; empty when it runs, else why not.
    std::string start(std::optional<quint32> excluded = std::nullopt,
                      CaptureConfiguration configuration = {}) {
        QString error;
        const std::optional<ShareableContent> content = query(&error);
        if (!content) {
            return error.toStdString();
        }
        display = content->displays.front();
        configuration.width = display.width;
        configuration.height = display.height;
        stream = service.makeStream(display, excluded, configuration, delegate, &error);
        auto outcome = std::make_shared<std::optional<std::optional<QString>>>();
        if (stream) {
            stream->start([outcome](std::optional<QString> failed) { *outcome = failed; });
            waitUntil([&] { return outcome->has_value(); }, 3s, pumpQtEvents);
            error = outcome->value_or("no start").value_or(QString());
        }
        return error.toStdString();
    }

    X11CaptureService service;
    CaptureDisplay display;
    RecordingDelegate delegate;
    std::unique_ptr<CaptureStreamSession> stream;
};

/// A server of the test's own, which it may stop or kill, and a stream of it.
class X11CaptureServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.isReady()) << server.failure(); }

    XvfbSession server{{.width = 640, .height = 480, .windowManager = false}};
    CaptureRun run{server.display(), CapturePath::Copying};
};

/// `scene` as the draw loop gets it from `compositor`, read back; null when nothing was drawn.
inline QImage composed(GlxSceneCompositor& compositor,
                       const std::shared_ptr<const DesktopScene>& scene) {
    const OffscreenTarget target(scene->size);
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    GLint texture = 0;
    gl->glBindFramebuffer(GL_FRAMEBUFFER, target.target().framebuffer);
    gl->glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                              GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &texture);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!compositor.composeInto(static_cast<unsigned>(texture), scene->size, scene)) {
        return {};
    }
    return target.read().mirrored(false, true);  // the texture holds its top row first
}

/// The shared desktop seen through a stream on one path, with an X client for the test's
/// windows and the compositor that turns zero-copy scenes into pictures.
class CaptureDesktopTest : public ::testing::Test {
protected:
    explicit CaptureDesktopTest(CapturePath path) : path(path), run(glDesktop->display(), path) {}

    void SetUp() override {
        if (!glDesktop->failure().empty()) {
            GTEST_SKIP() << glDesktop->failure();
        }
        glDesktop->makeCurrent();
        // The windows of a test before go with its connection, in the server's own time.
        const auto bare = [&] {
            return std::ranges::none_of(x.stack(), [&](auto w) { return x.isViewable(w); });
        };
        ASSERT_TRUE(waitUntil(bare, 3s));
        x.deleteProperty(x.root(), "_XROOTPMAP_ID");
        x.deleteProperty(x.root(), "_XSETROOT_ID");
        compositor = GlxSceneCompositor::forApplication();
        if (path == CapturePath::ZeroCopy &&
            !(compositor->canBindPixmaps() && compositor->initialize())) {
            GTEST_SKIP() << "the GL driver does not bind pixmaps as textures";
        }
    }
    // GPU objects go while the context is current.
    void TearDown() override { glDesktop->makeCurrent(), compositor.reset(); }

    /// A mapped (unless told) override-redirect window of one colour.
    xcb_window_t window(RootRect rect, Rgb colour, bool mapped = true,
                        xcb_window_t parent = XCB_NONE) {
        const xcb_window_t made = x.createWindow(rect, true, 0, parent);
        x.setBackground(made, colour);
        if (mapped) {
            x.map(made);
        }
        return made;
    }

    /// Waits until the stream's picture (composed if a scene) shows `colour` at (px, py).
    bool showsSoon(int px, int py, Rgb colour) {
        const auto shows = [&] {
            const DesktopPicture latest = run.delegate.record().latest;
            picture = latest.scene ? composed(*compositor, latest.scene) : latest.image;
            return !picture.isNull() && at(px, py) == colour;
        };
        return waitUntil(shows, 3s, pumpQtEvents);
    }
    Rgb at(int px, int py) const {
        return {qRed(picture.pixel(px, py)), qGreen(picture.pixel(px, py)),
                qBlue(picture.pixel(px, py))};
    }

    const CapturePath path;
    X11TestDisplay x{glDesktop->display()};
    CaptureRun run;
    std::unique_ptr<GlxSceneCompositor> compositor;
    QImage picture;
};

}  // namespace glimmora::test
