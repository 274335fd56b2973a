#include "support/GlimmoraProcess.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace glimmora::test {
namespace {

std::string contentsOf(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

GlimmoraProcess::GlimmoraProcess(const XvfbSession& session, const Options& options)
    : logPath_(session.directory() + "/glimmora.log"),
      settingsPath_(session.directory() + "/config/glimmora/glimmora.conf") {
    const std::string config = session.directory() + "/config";
    std::filesystem::create_directories(config + "/glimmora");
    if (options.writesSettings) {
        std::ofstream(settingsPath_) << "[General]\n" << options.settings;
    }
    // Qt wants a private runtime folder and complains about any other.
    const std::string runtime = session.directory() + "/runtime";
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);

    ChildProcess::Environment environment{
        {"DISPLAY", session.display()}, {"XDG_CONFIG_HOME", config}, {"XDG_RUNTIME_DIR", runtime}};
    if (!options.leakSuppressions.empty()) {
        environment.emplace_back("LSAN_OPTIONS", "suppressions=" + options.leakSuppressions);
    }
    environment.insert(environment.end(), options.environment.begin(), options.environment.end());
    std::vector<std::string> argv{options.executable};
    argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());
    process_ =
        std::make_unique<ChildProcess>(argv, environment, logPath_, false, options.inheritedFd);
}

std::string GlimmoraProcess::settingsText() const {
    return contentsOf(settingsPath_);
}

std::string GlimmoraProcess::output() const {
    return contentsOf(logPath_);
}

int GlimmoraProcess::count(std::string_view text) const {
    const std::string printed = output();
    int found = 0;
    for (auto at = printed.find(text); !text.empty() && at != std::string::npos;
         at = printed.find(text, at + text.size())) {
        ++found;
    }
    return found;
}

}  // namespace glimmora::test
