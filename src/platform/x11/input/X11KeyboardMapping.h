#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

#include "core/KeyInput.h"

namespace glimmora {

/// The server's current keyboard mapping, as the key handling needs it: which symbol a key code
/// types with no modifier, which key codes type a symbol, and which ModN bit NumLock sets.
///
/// X leaves the mapping to each client: key events carry codes, and the symbols and the
/// NumLock bit depend on the layout loaded now. Load it once and again after every mapping
/// change the server announces.
class X11KeyboardMapping {
public:
    /// Reads the mapping over `connection` (two requests, one round trip). An empty mapping
    /// when the server does not answer.
    explicit X11KeyboardMapping(xcb_connection_t* connection);

    /// The symbol key `code` types at the first level (no Shift, no group): lower-case `f` for
    /// the F key. 0 for unknown codes.
    KeySymbol unshiftedSymbol(xcb_keycode_t code) const;
    /// The key codes that type `symbol` at the first level, or at any level when `anyLevel`.
    std::vector<xcb_keycode_t> keyCodesFor(KeySymbol symbol, bool anyLevel) const;
    /// The ModN bit that NumLock sets; 0 when no modifier carries a NumLock key.
    std::uint16_t numLockMask() const { return numLockMask_; }

private:
    xcb_keycode_t minKeyCode_ = 0;
    int symbolsPerCode_ = 0;
    std::vector<KeySymbol> symbols_;  // symbolsPerCode_ entries per code from minKeyCode_
    std::uint16_t numLockMask_ = 0;
};

}  // namespace glimmora
