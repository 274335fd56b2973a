#include "support/GlimmoraProcess.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace glimmora::test {

GlimmoraProcess::GlimmoraProcess(const XvfbSession& session, const Options& options)
    : logPath_(session.directory() + "/glimmora.log") {
    const std::string config = session.directory() + "/config";
    std::filesystem::create_directories(config + "/glimmora");
    std::ofstream(config + "/glimmora/glimmora.conf") << "[General]\n" << options.settings;
    // Qt wants a private runtime folder and complains about any other.
    const std::string runtime = session.directory() + "/runtime";
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);

    ChildProcess::Environment environment{
        {"DISPLAY", session.display()}, {"XDG_CONFIG_HOME", config}, {"XDG_RUNTIME_DIR", runtime}};
    if (!options.leakSuppressions.empty()) {
        environment.emplace_back("LSAN_OPTIONS", "suppressions=" + options.leakSuppressions);
    }
    process_ = std::make_unique<ChildProcess>(std::vector<std::string>{options.executable},
                                              environment, logPath_, options.inheritedFd);
}

std::string GlimmoraProcess::output() const {
    std::ifstream in(logPath_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int GlimmoraProcess::count(std::string_view text) const {
    if (text.empty()) {
        return 0;
    }
    const std::string printed = output();
    int found = 0;
    for (auto at = printed.find(text); at != std::string::npos;
         at = printed.find(text, at + text.size())) {
        ++found;
    }
    return found;
}

}  // namespace glimmora::test
