#pragma once

namespace glimmora {

/// Closes every descriptor above standard error that the process was started with.
///
/// A launcher (a session manager, a terminal, a file manager, an autostart script) may leave
/// descriptors open by mistake: a pipe a parent waits on to close, a file it has since deleted,
/// an X connection that keeps another client's grab alive. Glimmora runs for the whole session,
/// so whatever it inherits would stay open that long. Call first thing in main(), before
/// anything of ours is open; what Glimmora opens itself is close-on-exec.
void closeInheritedDescriptors();

}  // namespace glimmora
