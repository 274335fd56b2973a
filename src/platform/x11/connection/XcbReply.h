#pragma once

#include <cstdlib>
#include <memory>

namespace glimmora {

/// Frees what xcb hands out with malloc (replies, errors, events).
struct XcbFree {
    void operator()(void* pointer) const { std::free(pointer); }
};

/// An owned xcb reply, error or event: `XcbReply<xcb_get_geometry_reply_t> geometry(...)`.
template <typename T>
using XcbReply = std::unique_ptr<T, XcbFree>;

}  // namespace glimmora
