#include "render/ScreenShaderView.h"

#include "render/AreaPresenter.h"
#include "render/OverlayRenderer.h"

namespace glimmora {

ScreenShaderView::ScreenShaderView(AppState& settings, std::function<double()> clock)
    : QOpenGLWindow(QOpenGLWindow::NoPartialUpdate),
      renderer_(std::make_unique<OverlayRenderer>(settings, std::move(clock))) {
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(0);
    format.setStencilBufferSize(0);
    setFormat(format);

    renderer_->setWindowVisibility([this] { return isVisible() && isExposed(); });
    // Pictures come on the capture's thread: the tick runs on ours. Other wake-ups come
    // before their change is made: the tick runs after it.
    renderer_->handOver().setWakeUp([this] { postTick(); });
    renderer_->setWakeUp([this] { postTick(); });

    // A precise timer rather than vsync alone: without a vsync (virtual screens, some drivers)
    // buffer swaps never wait and the loop would spin as fast as it can.
    frameTimer_.setTimerType(Qt::PreciseTimer);
    frameTimer_.setInterval(1000 / kFramesPerSecond);
    QObject::connect(&frameTimer_, &QTimer::timeout, this, [this] { tick(); });
    frameTimer_.start();
    QObject::connect(this, &QOpenGLWindow::frameSwapped, this, &ScreenShaderView::frameShown);
}

ScreenShaderView::~ScreenShaderView() {
    frameTimer_.stop();
    renderer_->handOver().setWakeUp({});
    renderer_->setWakeUp({});
    // GPU objects must go while their context is current.
    makeCurrent();
    renderer_.reset();
    presenter_.reset();
    doneCurrent();
}

void ScreenShaderView::postTick() {
    if (!tickPosted_.exchange(true)) {
        QMetaObject::invokeMethod(
            this, [this] { tick(); }, Qt::QueuedConnection);
    }
}

void ScreenShaderView::tick() {
    tickPosted_ = false;
    if (isExposed() && renderer_->needsFrame()) {
        if (presenter_) {
            drawInPlace();
        } else {
            update();
        }
    }
    followRenderer();
}

void ScreenShaderView::followRenderer() {
    if (!renderer_->needsTicks()) {
        frameTimer_.stop();
    } else if (!frameTimer_.isActive()) {
        frameTimer_.start();
    }
}

void ScreenShaderView::drawInPlace() {
    makeCurrent();
    const qreal ratio = devicePixelRatio();
    const int height = qRound(this->height() * ratio);
    const QRegion drawn =
        renderer_->draw({defaultFramebufferObject(), qRound(width() * ratio), height},
                        backBufferHoldsFrame_ ? OverlayRenderer::TargetContents::LastFrame
                                              : OverlayRenderer::TargetContents::Unknown);
    if (drawn.isEmpty()) {
        return;  // nothing new, or nothing drawn: the back buffer is as it was
    }
    backBufferHoldsFrame_ = presenter_->present(drawn, height);
    if (backBufferHoldsFrame_) {
        Q_EMIT frameShown();
    } else {
        presenter_.reset();  // swaps from now on
        update();
    }
}

void ScreenShaderView::initializeGL() {
    renderer_->initialize();
    if (renderer_->isSoftwareRenderer() && presenterFactory_) {
        presenter_ = presenterFactory_();
    }
}

void ScreenShaderView::paintGL() {
    const qreal ratio = devicePixelRatio();
    renderer_->draw(
        {defaultFramebufferObject(), qRound(width() * ratio), qRound(height() * ratio)});
    // Qt swaps after this, and a swapped back buffer may hold anything.
    backBufferHoldsFrame_ = false;
    followRenderer();
}

}  // namespace glimmora
