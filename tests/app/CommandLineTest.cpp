#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "app/ControlEndpoint.h"

namespace glimmora {
namespace {

using Kind = ControlRequest::Kind;
using Mode = CommandLine::Mode;

ControlRequest request(Kind kind, const char* name = "", const char* value = "") {
    ControlRequest r;
    r.kind = kind;
    r.name = QString::fromUtf8(name);
    r.value = QString::fromUtf8(value);
    return r;
}

struct ParseCase {
    QStringList arguments;
    Mode mode;
    std::vector<ControlRequest> requests;
};

TEST(CommandLineTest, ReadsRequestsInOrderOrRejectsWhatItCannotRead) {
    const std::vector<ParseCase> cases = {
        {{}, Mode::launch, {}},
        {{"--menu"}, Mode::control, {request(Kind::showMenu)}},
        {{"--set", "screenBrightness=-0.8"},
         Mode::control,
         {request(Kind::set, "screenBrightness", "-0.8")}},
        // Joined with "=", and a value holding "=" itself.
        {{"--set=activeProfileName=a=b"},
         Mode::control,
         {request(Kind::set, "activeProfileName", "a=b")}},
        {{"--get", "noiseAmount", "--profile=Night Mode", "--quit"},
         Mode::control,
         {request(Kind::get, "noiseAmount"), request(Kind::applyProfile, "Night Mode"),
          request(Kind::quit)}},
        {{"--quit", "--help"}, Mode::help, {}},
        {{"--version"}, Mode::version, {}},
        {{"--set", "screenBrightness"}, Mode::usageError, {}},
        {{"--set", "=1"}, Mode::usageError, {}},
        {{"--get"}, Mode::usageError, {}},
        {{"--profile="}, Mode::usageError, {}},
        {{"--menu=now"}, Mode::usageError, {}},
        {{"--brightness"}, Mode::usageError, {}},
        {{"--camera"}, Mode::usageError, {}},
        {{"--camera", "/dev/video2", "--quit"}, Mode::usageError, {}},
    };
    for (const ParseCase& c : cases) {
        const CommandLine parsed = parseCommandLine(c.arguments);
        EXPECT_EQ(parsed.mode, c.mode) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(parsed.requests, c.requests) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(parsed.error.startsWith("glimmora: "), c.mode == Mode::usageError)
            << parsed.error.toStdString();
    }
    EXPECT_EQ(parseCommandLine({"--camera=clip.mp4"}).cameraPath, "clip.mp4");
}

TEST(CommandLineTest, ServiceNameNamesTheDisplayNotTheScreen) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {":0", "io.github.glimmora.Glimmora.Display_0"},
        {":0.1", "io.github.glimmora.Glimmora.Display_0"},
        {"remote.example:10.0", "io.github.glimmora.Glimmora.Display_remote_example_10"},
    };
    for (const auto& [display, name] : cases) {
        EXPECT_EQ(controlServiceName(QString::fromLatin1(display)).toStdString(), name) << display;
    }
}

}  // namespace
}  // namespace glimmora
