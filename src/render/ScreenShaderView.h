#pragma once

#include <QOpenGLWindow>
#include <QTimer>
#include <functional>
#include <memory>

namespace glimmora {

class AppState;
class OverlayRenderer;

/// The overlay window's content: an OpenGL window that draws through the OverlayRenderer, into
/// its own default framebuffer. A 60 Hz frame tick asks the renderer whether the frame on
/// screen is out of date and only then asks for a frame; a new picture in the hand-over wakes
/// the tick at once instead of waiting for the next one. While the renderer is paused (the
/// overlay is switched off) no frames are asked for at all.
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
