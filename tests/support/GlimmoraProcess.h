#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "support/ChildProcess.h"
#include "support/XvfbSession.h"

namespace glimmora::test {

/// The glimmora program run by a test on a private display, with a settings file of its own
/// (the user's settings are never read or written) and its output collected in a log that the
/// test reads while it runs. Stopped like any ChildProcess when it goes.
class GlimmoraProcess {
public:
    struct Options {
        std::string executable;
        /// Its command line after the program's name.
        std::vector<std::string> arguments{};
        /// The body of the settings file below its `[General]` line: `key=value` lines.
        std::string settings;
        /// LeakSanitizer suppressions for sanitizer builds; empty for none.
        std::string leakSuppressions;
        /// Added to the program's environment (a session bus address, say), over the above.
        ChildProcess::Environment environment{};
        /// False: leave the settings file as an earlier process of this session left it.
        bool writesSettings = true;
        /// A descriptor the program inherits as its descriptor 3, as from a careless launcher.
        int inheritedFd = -1;
    };

    GlimmoraProcess(const XvfbSession& session, const Options& options);

    ChildProcess& process() { return *process_; }
    const std::string& settingsPath() const { return settingsPath_; }
    std::string settingsText() const;
    /// Everything the program printed so far.
    std::string output() const;
    /// How often `text` occurs in the output so far.
    int count(std::string_view text) const;

private:
    std::string logPath_;
    std::string settingsPath_;
    std::unique_ptr<ChildProcess> process_;
};

}  // namespace glimmora::test
