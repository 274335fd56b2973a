#include "platform/x11/connection/XlibErrorTrap.h"

#include <algorithm>

namespace glimmora {
namespace {

// The trap Xlib's process-wide handler reports to: Xlib gives the handler no context of ours.
XlibErrorTrap* activeTrap = nullptr;
int (*handlerBeforeTrap)(Display*, XErrorEvent*) = nullptr;

}  // namespace

XlibErrorTrap::XlibErrorTrap(Display* display) : display_(display) {
    // Errors of earlier requests may still come in while it lives; their serial numbers keep
    // them apart from those of the requests watched.
    activeTrap = this;
    previous_ = XSetErrorHandler(&XlibErrorTrap::handle);
    handlerBeforeTrap = previous_;
}

XlibErrorTrap::~XlibErrorTrap() {
    // Errors that arrive later go to the previous handler.
    XSetErrorHandler(previous_);
    activeTrap = nullptr;
    handlerBeforeTrap = nullptr;
}

unsigned long XlibErrorTrap::nextSerial() const {
    return NextRequest(display_);
}

void XlibErrorTrap::sync() {
    XSync(display_, False);
}

bool XlibErrorTrap::failedBetween(unsigned long from, unsigned long to) const {
    return std::any_of(failedSerials_.begin(), failedSerials_.end(),
                       [&](unsigned long serial) { return serial >= from && serial < to; });
}

int XlibErrorTrap::handle(Display* display, XErrorEvent* error) {
    if (activeTrap != nullptr && display == activeTrap->display_) {
        activeTrap->failedSerials_.push_back(error->serial);
        return 0;
    }
    return handlerBeforeTrap != nullptr ? handlerBeforeTrap(display, error) : 0;
}

}  // namespace glimmora
