#include "RenderOptions.h"

#include <gtest/gtest.h>

namespace glimmora {
namespace {

ParsedCommandLine parse(std::initializer_list<const char*> arguments) {
    QStringList list;
    for (const char* a : arguments) {
        list.append(QString::fromUtf8(a));
    }
    return parseRenderCommandLine(list);
}

TEST(RenderOptionsTest, ReadsEveryOption) {
    const ParsedCommandLine parsed =
        parse({"--input",     "in.png",          "--output", "out.png",
               "--settings",  "glimmora.conf",   "--set",    "isScreenDimmerEnabled=true",
               "--mouse",     "0.25,0.75",       "--caret",  "0.1,0.2",
               "--window",    "0.1,0.2,0.5,0.6", "--gaze",   "0.3",
               "--explosion", "0.4,0.6,0.25",    "--time",   "12.5"});
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    EXPECT_FALSE(parsed.isHelpRequested);
    EXPECT_EQ(parsed.exitStatus(), RenderExit::Success);

    RenderOptions expected;
    expected.inputPath = "in.png";
    expected.outputPath = "out.png";
    expected.settingsPath = "glimmora.conf";
    expected.overrides = {{"isScreenDimmerEnabled", "true"}};
    expected.mouse = NormalizedPoint{0.25f, 0.75f};
    expected.caret = NormalizedPoint{0.1f, 0.2f};
    expected.window = Rect{0.1, 0.2, 0.5, 0.6};
    expected.gazeY = 0.3f;
    expected.explosion = ExplosionOption{{0.4f, 0.6f}, 0.25};
    expected.time = 12.5;
    EXPECT_EQ(*parsed.options, expected);
}

TEST(RenderOptionsTest, OnlyInputAndOutputLeaveTheTrackersAtTheirStart) {
    const ParsedCommandLine parsed = parse({"--output", "o.png", "--input", "i.png"});
    ASSERT_TRUE(parsed.options);
    RenderOptions expected;
    expected.inputPath = "i.png";
    expected.outputPath = "o.png";
    EXPECT_EQ(*parsed.options, expected);
}

TEST(RenderOptionsTest, TakesValuesAfterAnEqualsSign) {
    const ParsedCommandLine parsed = parse({"--input=i.png", "--output=o.png", "--time=2",
                                            "--set=activeProfileName=Night Mode", "--gaze=1"});
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options->inputPath, "i.png");
    EXPECT_EQ(parsed.options->time, 2.0);
    EXPECT_EQ(parsed.options->gazeY, 1.0f);
    ASSERT_EQ(parsed.options->overrides.size(), 1);
    EXPECT_EQ(parsed.options->overrides[0], (SettingOverride{"activeProfileName", "Night Mode"}));
}

TEST(RenderOptionsTest, KeepsSettingOverridesInCommandLineOrder) {
    const ParsedCommandLine parsed =
        parse({"--set", "screenBrightness=-0.5", "--input", "i.png", "--set", "isFocusEnabled=true",
               "--set", "screenBrightness=0.25", "--output", "o.png"});
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    const QList<SettingOverride> expected{
        {"screenBrightness", "-0.5"}, {"isFocusEnabled", "true"}, {"screenBrightness", "0.25"}};
    EXPECT_EQ(parsed.options->overrides, expected);
}

TEST(RenderOptionsTest, NegativeNumbersAreValuesNotOptions) {
    const ParsedCommandLine parsed =
        parse({"--input", "i.png", "--output", "o.png", "--time", "-3.5"});
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options->time, -3.5);
}

TEST(RenderOptionsTest, AcceptsTheEdgesOfTheScreen) {
    const ParsedCommandLine parsed = parse({"--input", "i.png", "--output", "o.png", "--mouse",
                                            "0,1", "--window", "0,0,1,1", "--explosion", "1,0,0"});
    ASSERT_TRUE(parsed.options) << parsed.error.toStdString();
    EXPECT_EQ(parsed.options->mouse, (NormalizedPoint{0.0f, 1.0f}));
    EXPECT_EQ(parsed.options->explosion, (ExplosionOption{{1.0f, 0.0f}, 0.0}));
}

TEST(RenderOptionsTest, HelpIsAnsweredAsSoonAsItIsMet) {
    for (const auto& arguments : {QStringList{"--help"}, QStringList{"-h"},
                                  QStringList{"--input", "i.png", "--help", "--bogus"}}) {
        const ParsedCommandLine parsed = parseRenderCommandLine(arguments);
        EXPECT_TRUE(parsed.isHelpRequested) << arguments.join(' ').toStdString();
        EXPECT_FALSE(parsed.options);
        EXPECT_EQ(parsed.exitStatus(), RenderExit::Success);
    }
    // A problem met before the request is still a problem.
    const ParsedCommandLine parsed = parse({"--bogus", "--help"});
    EXPECT_FALSE(parsed.isHelpRequested);
    EXPECT_EQ(parsed.exitStatus(), RenderExit::BadInput);
}

struct BadCommandLine {
    QStringList arguments;
    const char* messagePart;
};

TEST(RenderOptionsTest, RejectsBadCommandLinesWithOneLineNamingTheProblem) {
    const QStringList files{"--input", "i.png", "--output", "o.png"};
    const std::vector<BadCommandLine> cases{
        {{}, "missing --input"},
        {{"--output", "o.png"}, "missing --input"},
        {{"--input", "i.png"}, "missing --output"},
        {files + QStringList{"--frobnicate", "1"}, "unknown option \"--frobnicate\""},
        {files + QStringList{"-x"}, "unknown option \"-x\""},
        {files + QStringList{"stray"}, "unexpected argument \"stray\""},
        {{"--input"}, "--input needs a value"},
        {{"--input", "--output", "o.png"}, "--input needs a value"},
        {{"--input=", "--output", "o.png"}, "--input needs a value"},
        {files + QStringList{"--input", "j.png"}, "--input given twice"},
        {files + QStringList{"--mouse", "0.1,0.1", "--mouse", "0.2,0.2"}, "--mouse given twice"},
        {files + QStringList{"--set", "isFocusEnabled"}, "--set expects NAME=VALUE"},
        {files + QStringList{"--set", "=true"}, "--set expects NAME=VALUE"},
        {files + QStringList{"--set", "noSuchSetting=1"}, "unknown setting \"noSuchSetting\""},
        {files + QStringList{"--set", "isFocusEnabled=maybe"}, "isFocusEnabled"},
        {files + QStringList{"--set", "screenBrightness=dark"}, "screenBrightness"},
        {files + QStringList{"--set", "breathPacerStyle=1.5"}, "breathPacerStyle"},
        {files + QStringList{"--mouse", "0.5"}, "--mouse expects X,Y"},
        {files + QStringList{"--mouse", "0.5,0.5,0.5"}, "--mouse expects X,Y"},
        {files + QStringList{"--mouse", "640,360"}, "--mouse expects X,Y"},
        {files + QStringList{"--mouse", "-0.1,0.5"}, "--mouse expects X,Y"},
        {files + QStringList{"--mouse", "nan,0.5"}, "--mouse expects X,Y"},
        {files + QStringList{"--mouse", "0.5,inf"}, "--mouse expects X,Y"},
        {files + QStringList{"--mouse", "0.5;0.5"}, "--mouse expects X,Y"},
        {files + QStringList{"--mouse", "0.5, 0.5"}, "--mouse expects X,Y"},
        {files + QStringList{"--caret", "0.5,abc"}, "--caret expects X,Y"},
        {files + QStringList{"--window", "0.1,0.1,0.5"}, "--window expects X,Y,W,H"},
        {files + QStringList{"--window", "0.1,0.1,1.5,0.5"}, "--window expects X,Y,W,H"},
        {files + QStringList{"--gaze", "1.01"}, "--gaze expects Y"},
        {files + QStringList{"--gaze", "0.2,0.3"}, "--gaze expects Y"},
        {files + QStringList{"--explosion", "0.5,0.5"}, "--explosion expects X,Y,AGE"},
        {files + QStringList{"--explosion", "0.5,0.5,-0.1"}, "--explosion expects X,Y,AGE"},
        {files + QStringList{"--time", "soon"}, "--time expects a time in seconds"},
        {files + QStringList{"--time", "nan"}, "--time expects a time in seconds"},
        {files + QStringList{"--time", "-inf"}, "--time expects a time in seconds"},
        {files + QStringList{"--time", "1e39"}, "--time expects a time in seconds"},
        {files + QStringList{"--time", "1s"}, "--time expects a time in seconds"},
    };
    for (const BadCommandLine& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ParsedCommandLine parsed = parseRenderCommandLine(c.arguments);
        EXPECT_FALSE(parsed.options);
        EXPECT_FALSE(parsed.isHelpRequested);
        EXPECT_EQ(parsed.exitStatus(), RenderExit::BadInput);
        EXPECT_TRUE(parsed.error.contains(QLatin1String(c.messagePart)))
            << parsed.error.toStdString();
        EXPECT_FALSE(parsed.error.contains(QLatin1Char('\n')));
    }
}

TEST(RenderOptionsTest, UsageNamesEveryOption) {
    const QString usage = renderUsage();
    for (const char* option : {"--input", "--output", "--settings", "--set", "--mouse", "--caret",
                               "--window", "--gaze", "--explosion", "--time", "--help"}) {
        EXPECT_TRUE(usage.contains(QLatin1String(option))) << option;
    }
    EXPECT_TRUE(usage.endsWith(QLatin1Char('\n')));
}

}  // namespace
}  // namespace glimmora
