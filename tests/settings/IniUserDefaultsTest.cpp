#include "settings/IniUserDefaults.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "settings/AppState.h"

namespace glimmora {
namespace {

class IniUserDefaultsTest : public ::testing::Test {
protected:
    QString path() const { return dir_.filePath("config/glimmora/glimmora.conf"); }

    void writeFile(const QByteArray& content) const {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    QByteArray readFile() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
};

TEST_F(IniUserDefaultsTest, ValuesOfEveryTypeSurviveAFreshReader) {
    {
        IniUserDefaults writer(path());
        writer.setBool("on", true);
        writer.setBool("off", false);
        writer.setFloat("minusPointEight", -0.8f);
        writer.setFloat("tiny", 0.0015f);
        writer.setFloat("third", 1.0f / 3.0f);
        writer.setInteger("big", -9000000000LL);
        writer.setString("name", "Night Mode, \"quiet\" = on; @home");
        writer.setData("blob", QByteArray("[{\"a\":1}]\n\0tail", 15));
        ASSERT_TRUE(writer.sync());
    }
    IniUserDefaults reader(path());
    EXPECT_TRUE(reader.boolValue("on"));
    EXPECT_TRUE(reader.contains("off"));
    EXPECT_FALSE(reader.boolValue("off"));
    EXPECT_EQ(reader.floatValue("minusPointEight"), -0.8f);
    EXPECT_EQ(reader.floatValue("tiny"), 0.0015f);
    EXPECT_EQ(reader.floatValue("third"), 1.0f / 3.0f);
    EXPECT_EQ(reader.integerValue("big"), -9000000000LL);
    EXPECT_EQ(reader.stringValue("name"), QStringLiteral("Night Mode, \"quiet\" = on; @home"));
    EXPECT_EQ(reader.dataValue("blob"), QByteArray("[{\"a\":1}]\n\0tail", 15));
}

TEST_F(IniUserDefaultsTest, MissingKeysReadAsFalseZeroAndNothing) {
    IniUserDefaults d(path());
    EXPECT_FALSE(d.contains("absent"));
    EXPECT_FALSE(d.boolValue("absent"));
    EXPECT_EQ(d.floatValue("absent"), 0.0f);
    EXPECT_EQ(d.integerValue("absent"), 0);
    EXPECT_FALSE(d.stringValue("absent").has_value());
    EXPECT_FALSE(d.dataValue("absent").has_value());
}

TEST_F(IniUserDefaultsTest, FileIsPlainReadableText) {
    IniUserDefaults d(path());
    AppState state(d);
    state.screenBrightness = -0.8f;
    ASSERT_TRUE(state.saveSettings());
    const QByteArray text = readFile();
    EXPECT_TRUE(text.contains("screenBrightness=-0.8\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("isOverlayEnabled=true\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("breathPacerStyle=1\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("activeProfileName=Default\n")) << text.toStdString();
}

TEST_F(IniUserDefaultsTest, HandEditedGarbageReadsAsMissingAndNeverCrashes) {
    writeFile(
        "[General]\n"
        "isOverlayEnabled=maybe\n"
        "readingRulerZoom=huge\n"
        "screenBrightness=nan\n"
        "overlayOpacity=inf\n"
        "breathPacerStyle=2.5\n"
        "dyslexiaTintColor=teal\n"
        "focusFollowsCursor=false\n"
        "activeProfileName=a, b\n"
        "focusProfiles=@ByteArray([{\"id\":1}])\n"
        "cursorSpotlightRadius=@Variant(\\0\\0\\0\\x87?\\0\\0\\0)\n");
    IniUserDefaults d(path());
    EXPECT_TRUE(d.contains("isOverlayEnabled"));
    EXPECT_FALSE(d.boolValue("isOverlayEnabled"));
    EXPECT_EQ(d.floatValue("screenBrightness"), 0.0f);

    AppState state(d);
    EXPECT_FALSE(state.isOverlayEnabled());
    EXPECT_EQ(state.readingRulerZoom(), 1.5f);
    EXPECT_EQ(state.screenBrightness(), 0.0f);
    EXPECT_EQ(state.overlayOpacity(), 1.0f);
    EXPECT_EQ(state.breathPacerStyle(), 1);
    EXPECT_EQ(state.dyslexiaTintColor(), 1);
    EXPECT_FALSE(state.focusFollowsCursor());
    EXPECT_EQ(state.activeProfileName(), QStringLiteral("Default"));
    EXPECT_EQ(state.focusProfiles().size(), 3u);
    EXPECT_EQ(state.cursorSpotlightRadius(), 0.15f);
}

TEST_F(IniUserDefaultsTest, BinaryJunkFileGivesFirstLaunchDefaultsAndIsReplacedOnSave) {
    QByteArray junk;
    for (int i = 0; i < 4096; ++i) {
        junk.append(static_cast<char>((i * 7919) % 256));
    }
    writeFile(junk);
    IniUserDefaults d(path());
    AppState state(d);
    EXPECT_EQ(state.readingRulerZoom(), 1.5f);
    state.readingRulerZoom = 2.0f;
    state.saveSettings();

    IniUserDefaults again(path());
    EXPECT_EQ(AppState(again).readingRulerZoom(), 2.0f);
}

TEST_F(IniUserDefaultsTest, SaveReplacesTheFileAtomically) {
    {
        IniUserDefaults d(path());
        d.setString("generation", "old");
        ASSERT_TRUE(d.sync());
    }
    // A reader that opened the old file keeps seeing it whole: the new file is written aside and
    // renamed over it, never truncated and rewritten in place.
    QFile oldFile(path());
    ASSERT_TRUE(oldFile.open(QIODevice::ReadOnly));
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &before), 0);

    IniUserDefaults d(path());
    d.setString("generation", "new");
    d.setString("padding", QString(10000, QChar('x')));
    ASSERT_TRUE(d.sync());

    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    const QByteArray oldContent = oldFile.readAll();
    EXPECT_TRUE(oldContent.contains("generation=old")) << oldContent.toStdString();
    EXPECT_TRUE(readFile().contains("generation=new"));

    const QStringList leftovers =
        QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(leftovers, QStringList{"glimmora.conf"});
}

TEST_F(IniUserDefaultsTest, SyncReportsAFileThatCannotBeWritten) {
    // A directory where the file should be: no amount of privilege can write it.
    QDir().mkpath(path());
    IniUserDefaults d(path());
    d.setBool("isOverlayEnabled", true);
    EXPECT_FALSE(d.sync());
}

TEST(IniUserDefaultsPath, FollowsXdgConfigHomeAndFallsBackToHome) {
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");

    qputenv("XDG_CONFIG_HOME", "/srv/cfg");
    EXPECT_EQ(IniUserDefaults::defaultFilePath(),
              QStringLiteral("/srv/cfg/glimmora/glimmora.conf"));

    qputenv("HOME", "/home/ada");
    qputenv("XDG_CONFIG_HOME", "relative/cfg");  // invalid by the base directory rules
    EXPECT_EQ(IniUserDefaults::defaultFilePath(),
              QStringLiteral("/home/ada/.config/glimmora/glimmora.conf"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(IniUserDefaults::defaultFilePath(),
              QStringLiteral("/home/ada/.config/glimmora/glimmora.conf"));

    qputenv("HOME", savedHome);
    if (savedXdg.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", savedXdg);
    }
}

}  // namespace
}  // namespace glimmora
