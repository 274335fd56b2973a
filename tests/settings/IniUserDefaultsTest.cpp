#include "settings/IniUserDefaults.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace glimmora {
namespace {

class IniUserDefaultsTest : public ::testing::Test {
protected:
    QString path() const { return dir_.filePath("config/glimmora/glimmora.conf"); }
    void write(const QByteArray& content) const {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    static ino_t inode(QFile& file) {
        struct stat info {};
        return ::fstat(file.handle(), &info) == 0 ? info.st_ino : 0;
    }

    QTemporaryDir dir_;
};

TEST_F(IniUserDefaultsTest, ValuesOfEveryTypeSurviveAFreshReaderAndMissingOnesReadAsNothing) {
    const QByteArray blob("[{\"a\":1}]\n\0tail", 15);
    const QString name = QStringLiteral("Night Mode, \"quiet\" = on; @home");
    {
        IniUserDefaults writer(path());
        writer.setBool("on", true);
        writer.setFloat("minusPointEight", -0.8f);
        writer.setFloat("third", 1.0f / 3.0f);
        writer.setInteger("big", -9000000000LL);
        writer.setString("name", name);
        writer.setData("blob", blob);
        ASSERT_TRUE(writer.sync());
    }
    IniUserDefaults reader(path());
    EXPECT_TRUE(reader.boolValue("on"));
    EXPECT_EQ(reader.floatValue("minusPointEight"), -0.8f);
    EXPECT_EQ(reader.floatValue("third"), 1.0f / 3.0f);
    EXPECT_EQ(reader.integerValue("big"), -9000000000LL);
    EXPECT_EQ(reader.stringValue("name"), name);
    EXPECT_EQ(reader.dataValue("blob"), blob);

    EXPECT_FALSE(reader.contains("absent") || reader.boolValue("absent"));
    EXPECT_EQ(reader.floatValue("absent") + float(reader.integerValue("absent")), 0.0f);
    EXPECT_FALSE(reader.stringValue("absent") || reader.dataValue("absent"));
}

TEST_F(IniUserDefaultsTest, BinaryJunkFileReadsAsMissingAndIsReplacedOnSave) {
    write(QByteArray("\x00\xff[\x01=\x02\n\xfe]\x80", 10).repeated(400));
    IniUserDefaults d(path());
    EXPECT_FALSE(d.contains("isOverlayEnabled"));
    d.setFloat("readingRulerZoom", 2.0f);
    d.sync();  // its result still reports the format error met when reading
    EXPECT_EQ(IniUserDefaults(path()).floatValue("readingRulerZoom"), 2.0f);
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
    IniUserDefaults d(path());
    d.setString("generation", "new");
    d.setString("padding", QString(10000, QChar('x')));
    ASSERT_TRUE(d.sync());

    QFile newFile(path());
    ASSERT_TRUE(newFile.open(QIODevice::ReadOnly));
    EXPECT_NE(inode(oldFile), inode(newFile));
    EXPECT_TRUE(oldFile.readAll().contains("generation=old"));
    EXPECT_TRUE(newFile.readAll().contains("generation=new"));
    EXPECT_EQ(QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
              QStringList{"glimmora.conf"});
}

TEST_F(IniUserDefaultsTest, SyncReportsAFileThatCannotBeWritten) {
    // A directory where the file should be: no amount of privilege can write it.
    QDir().mkpath(path());
    IniUserDefaults d(path());
    d.setBool("isOverlayEnabled", true);
    EXPECT_FALSE(d.sync());
}

TEST(IniUserDefaultsPath, FollowsAnAbsoluteXdgConfigHomeElseHome) {
    const QByteArray savedXdg = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", "/home/ada");
    const std::pair<const char*, const char*> cases[] = {
        {"/srv/cfg", "/srv/cfg/glimmora/glimmora.conf"},
        {"relative/cfg", "/home/ada/.config/glimmora/glimmora.conf"},  // invalid: ignored
        {nullptr, "/home/ada/.config/glimmora/glimmora.conf"},
    };
    for (const auto& [xdg, expected] : cases) {
        xdg ? qputenv("XDG_CONFIG_HOME", xdg) : qunsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(IniUserDefaults::defaultFilePath(), QString::fromLatin1(expected)) << xdg;
    }
    qputenv("HOME", savedHome);
    savedXdg.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", savedXdg);
}

}  // namespace
}  // namespace glimmora
