#pragma once

#include <QOpenGLWindow>
#include <QTimer>
#include <functional>
#include <memory>

namespace glimmora {

class AppState;
class OverlayRenderer;

/// The overlay window's content: an OpenGL window that redraws 60 times a second through the
/// OverlayRenderer, into its own default framebuffer. While the renderer is paused (the overlay
/// is switched off) the frame timer asks for no frames at all.
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

    std::unique_ptr<OverlayRenderer> renderer_;
    QTimer frameTimer_;
};

}  // namespace glimmora
