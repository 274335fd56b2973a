#pragma once

#include <QOpenGLWindow>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

namespace glimmora {

class AppState;
class AreaPresenter;
class OverlayRenderer;

/// The overlay window's content: an OpenGL window that draws through the OverlayRenderer, into
/// its own default framebuffer. A frame tick asks the renderer whether the frame on screen is
/// out of date and only then asks for a frame. The tick runs at 60 Hz only while the renderer
/// needs it (an effect moves with time, or no frame stands yet); otherwise it waits for a
/// wake-up: a new picture in the hand-over, or a setting, tracker reading or click that may
/// change the look. So a still desktop with still effects costs next to nothing, and a change
/// shows at once. While the renderer is paused (the overlay is switched off) no frames are
/// asked for at all.
///
/// Where OpenGL draws on the CPU and an AreaPresenter can be made, frames are drawn outside
/// Qt's paint and shown without a buffer swap, so the back buffer keeps the last frame: a frame
/// that differs only where the desktop changed redraws and shows only that part (see
/// OverlayRenderer::draw). Frames Qt asks for (exposes) are drawn whole and swapped as usual.
class ScreenShaderView : public QOpenGLWindow {
    Q_OBJECT

public:
    ScreenShaderView(AppState& settings, std::function<double()> clock);
    ~ScreenShaderView() override;

    OverlayRenderer& renderer() { return *renderer_; }

    /// Makes the presenter for this window's context, with it current; may give null. Asked
    /// once, when the context is made, and only where OpenGL draws on the CPU (a GPU draws a
    /// whole frame for next to nothing, and its swaps keep to the display's refresh).
    using PresenterFactory = std::function<std::unique_ptr<AreaPresenter>()>;
    void setPresenterFactory(PresenterFactory factory) { presenterFactory_ = std::move(factory); }

Q_SIGNALS:
    /// A frame reached the window, by a buffer swap or in place.
    void frameShown();

public:
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
    /// Draws a frame into the back buffer, only where it changed when the back buffer holds
    /// the last frame, and shows what was drawn.
    void drawInPlace();

    std::unique_ptr<OverlayRenderer> renderer_;
    PresenterFactory presenterFactory_;
    std::unique_ptr<AreaPresenter> presenter_;
    bool backBufferHoldsFrame_ = false;  // the last frame drawn, shown without a swap since
    QTimer frameTimer_;
    std::atomic<bool> tickPosted_{false};
};

}  // namespace glimmora
