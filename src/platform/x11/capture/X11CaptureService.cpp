#include "platform/x11/capture/X11CaptureService.h"

#include <QMetaObject>

#include "platform/x11/capture/X11CaptureStream.h"
#include "platform/x11/connection/PrimaryMonitor.h"
#include "platform/x11/connection/X11Display.h"
#include "platform/x11/connection/XcbReply.h"

namespace glimmora {

X11CaptureService::X11CaptureService(QString displayName) : displayName_(std::move(displayName)) {}

X11CaptureService::~X11CaptureService() = default;

void X11CaptureService::setOwnWindows(std::function<std::vector<quint32>()> ownWindows) {
    ownWindows_ = std::move(ownWindows);
}

CapturePath X11CaptureService::pathForNewStream() const {
    const bool zeroCopy =
        preferredPath_ == CapturePath::ZeroCopy && zeroCopyAvailable_ && zeroCopyAvailable_();
    return zeroCopy ? CapturePath::ZeroCopy : CapturePath::Copying;
}

void X11CaptureService::queryShareableContent(
    std::function<void(std::optional<ShareableContent> content, QString error)> done) {
    QString error;
    std::optional<ShareableContent> content = readContent(&error);
    QMetaObject::invokeMethod(
        &context_,
        [done = std::move(done), content = std::move(content), error] { done(content, error); },
        Qt::QueuedConnection);
}

std::optional<ShareableContent> X11CaptureService::readContent(QString* error) {
    if (display_ && display_->hasError()) {
        display_.reset();
    }
    if (!display_) {
        display_ = X11Display::open(displayName_, error);
        if (!display_) {
            return std::nullopt;
        }
    }
    xcb_connection_t* c = display_->connection();
    ShareableContent content;
    const QRect monitor = primaryMonitorRect(c, display_->screen());
    content.displays.push_back({monitor.width(), monitor.height()});

    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, display_->root()), nullptr));
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        std::vector<xcb_get_window_attributes_cookie_t> cookies;
        cookies.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            cookies.push_back(xcb_get_window_attributes(c, children[i]));
        }
        for (int i = 0; i < count; ++i) {
            XcbReply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(c, cookies[static_cast<size_t>(i)], nullptr));
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE) {
                content.windowIds.push_back(children[i]);
            }
        }
    }
    if (display_->hasError()) {
        *error = QStringLiteral("Lost the X server connection (%1)").arg(display_->errorText());
        display_.reset();
        return std::nullopt;
    }
    return content;
}

std::unique_ptr<CaptureStreamSession> X11CaptureService::makeStream(
    const CaptureDisplay& display, std::optional<quint32> excludedWindow,
    const CaptureConfiguration& configuration, CaptureStreamDelegate& delegate, QString* error) {
    if (display.width <= 0 || display.height <= 0) {
        if (error != nullptr) {
            *error = QStringLiteral("Cannot capture a display of %1 x %2 pixels")
                         .arg(display.width)
                         .arg(display.height);
        }
        return nullptr;
    }
    X11CaptureStream::Settings settings;
    settings.displayName = displayName_;
    settings.display = display;
    settings.excludedWindow = excludedWindow;
    settings.configuration = configuration;
    settings.ownWindows = ownWindows_;
    settings.path = pathForNewStream();
    return std::make_unique<X11CaptureStream>(std::move(settings), delegate);
}

}  // namespace glimmora
