#pragma once

#include <QOpenGLWindow>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

namespace glimmora {

class AppState;
class OverlayRenderer;

/// The overlay window's content: an OpenGL window that draws through the OverlayRenderer, into
/// its own default framebuffer. A frame tick asks the renderer whether the frame on screen is
/// out of date and only then asks for a frame. The tick runs at 60 Hz only while the renderer
/// needs it (an effect moves with time, or no frame stands yet); otherwise it waits for a
/// wake-up: a new picture in the hand-over, or a setting, tracker reading or click that may
/// change the look. So a still desktop with still effects costs next to nothing, and a change
/// shows at once. While the renderer is paused (the overlay is switched off) no frames are
/// asked for at all.
class ScreenShaderView : public QOpenGLWindow {
    Q_OBJECT

public:
    ScreenShaderView(AppState& settings, std::function<double()> clock);
    ~ScreenShaderView() override;

    OverlayRenderer& renderer() { return *renderer_; }

    /// Frames asked for per second while running.
    static constexpr int kFramesPerSecond = 60;

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void tick();
    /// Posts one tick to this window's thread, from any thread; further calls before it runs
    /// add nothing.
    void postTick();
    /// Runs the 60 Hz tick while the renderer needs it, and stops it otherwise.
    void followRenderer();

    std::unique_ptr<OverlayRenderer> renderer_;
    QTimer frameTimer_;
    std::atomic<bool> tickPosted_{false};
};

}  // namespace glimmora
