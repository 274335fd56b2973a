#include "platform/x11/connection/XcbConnect.h"

#include <fcntl.h>

namespace glimmora {

xcb_connection_t* connectPrivately(const char* displayName) {
    xcb_connection_t* connection = xcb_connect(displayName, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);  // xcb_connect never returns null; this frees it
        return nullptr;
    }
    ::fcntl(xcb_get_file_descriptor(connection), F_SETFD, FD_CLOEXEC);
    return connection;
}

}  // namespace glimmora
