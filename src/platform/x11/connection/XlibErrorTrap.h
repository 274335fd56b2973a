#pragma once

#include <X11/Xlib.h>
#include <vector>

namespace glimmora {

/// Catches the X errors of the Xlib requests (GLX calls included) made on one display while it
/// lives, so a caller can tell which of its requests failed. Windows and pixmaps of other
/// clients vanish at any moment; the errors that follow are expected and must neither end
/// the process (Xlib's default handler exits) nor print anything.
///
/// Xlib has one error handler per process, so the trap replaces it while it lives and puts the
/// previous one back after (Qt's, which drops errors quietly); errors of other displays go on to
/// the previous handler. Making one costs nothing; sync() costs one round trip. Main thread
/// only, one trap at a time.
class XlibErrorTrap {
public:
    explicit XlibErrorTrap(Display* display);
    ~XlibErrorTrap();
    XlibErrorTrap(const XlibErrorTrap&) = delete;
    XlibErrorTrap& operator=(const XlibErrorTrap&) = delete;

    /// The serial number of the next request: note it before and after the requests to watch.
    unsigned long nextSerial() const;
    /// Waits until the server has answered every request made so far, so their errors are in.
    void sync();
    /// Whether a request with a serial in [from, to) failed, as far as errors are in.
    bool failedBetween(unsigned long from, unsigned long to) const;

private:
    static int handle(Display* display, XErrorEvent* error);

    Display* display_;
    int (*previous_)(Display*, XErrorEvent*) = nullptr;
    std::vector<unsigned long> failedSerials_;
};

}  // namespace glimmora
