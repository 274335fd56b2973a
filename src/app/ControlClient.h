#pragma once

#include <vector>

#include "app/CommandLine.h"

namespace glimmora {

/// The command line's side of the control interface: sends each request to the Glimmora that
/// runs on $DISPLAY, in order, and prints what comes back (values on standard output, one
/// error line on standard error). Every name and value is checked before anything is sent, so
/// a bad one changes nothing. Needs a QCoreApplication.
///
/// Returns the exit status: 0 done; 1 no Glimmora runs on this display (or the bus failed);
/// 2 a bad setting name, value or profile name.
int runControlRequests(const std::vector<ControlRequest>& requests);

/// Everything the program does for a command line that does not launch the overlay: --help,
/// --version, a usage error (status 2), or control requests (run with a QCoreApplication made
/// here, without connecting to the X server, so they start quickly). Returns the exit status.
int runCommandLine(const CommandLine& commandLine, int argc, char** argv);

}  // namespace glimmora
