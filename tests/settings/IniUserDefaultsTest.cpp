#include "settings/IniUserDefaults.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <future>
#include <memory>

#include "support/LogCapture.h"

namespace glimmora {
namespace {

class IniUserDefaultsTest : public ::testing::Test {
protected:
    QString path() const { return dir_.filePath("config/glimmora/glimmora.conf"); }
    QString folder() const { return QFileInfo(path()).absolutePath(); }
    void write(const QByteArray& content, const QString& where = {}) const {
        QDir().mkpath(folder());
        QFile file(where.isEmpty() ? path() : where);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    static QByteArray contents(const QString& where) {
        QFile file(where);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static mode_t mode(const QString& where, bool followLinks = true) {
        struct stat info {};
        const QByteArray name = QFile::encodeName(where);
        const int result = followLinks ? ::stat(name, &info) : ::lstat(name, &info);
        return result == 0 ? info.st_mode : 0;
    }
    void makeFifo(const QString& where) const {
        QDir().mkpath(folder());
        ASSERT_EQ(::mkfifo(QFile::encodeName(where), 0600), 0);
    }

    QTemporaryDir dir_;
};

TEST_F(IniUserDefaultsTest, WhatIsNotARegularTextFileOfSaneSizeReadsAsMissingWithOneLine) {
    const QByteArray settings = "[General]\nisOverlayEnabled=true\n";
    // What takes the file's place, and the end of the line that says so.
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { write(QByteArray("\x00\xff[\x01=\x02\n\xfe]\x80", 10).repeated(400)); },
         "is not text"},
        {[&] { write(settings + "x=\xe2\x82"); }, "is not text"},  // a character cut off
        {[&] { write(settings + QByteArray(1 << 20, ';')); }, "is larger than 1048576 bytes"},
        {[&] { QDir().mkpath(path()); }, "is not a regular file"},
        {[&] { makeFifo(path()); }, "is not a regular file"},
        {[&] {
             QDir().mkpath(folder());
             QFile::link("/dev/zero", path());
         },
         "is not a regular file"},
    };
    for (const auto& [make, problem] : cases) {
        SCOPED_TRACE(problem.toStdString());
        make();
        const test::LogCapture log;
        // A FIFO without a writer would block a plain open for ever: the test waits 5 s, then
        // opens it for writing itself to let the reader go.
        auto reading = std::async(std::launch::async,
                                  [&] { return std::make_unique<IniUserDefaults>(path()); });
        if (reading.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
            ADD_FAILURE() << "reading the settings blocks";
            const int fd = ::open(QFile::encodeName(path()), O_WRONLY | O_NONBLOCK);
            ::close(fd);
        }
        EXPECT_FALSE(reading.get()->contains("isOverlayEnabled"));
        EXPECT_EQ(log.text(), QStringLiteral("Settings: %1 %2; starting from the defaults\n")
                                  .arg(path(), problem)
                                  .toStdString());
        QFile::remove(path());
        QDir(path()).removeRecursively();
    }
}

TEST_F(IniUserDefaultsTest, SavingReplacesOnlyARegularFileAndSaysWhetherItDid) {
    const QString elsewhere = dir_.filePath("dotfiles/glimmora.conf");
    QDir().mkpath(QFileInfo(elsewhere).absolutePath());
    // What is where the file should be, and whether a save may replace it.
    const std::pair<std::function<void()>, bool> cases[] = {
        {[] {}, true},  // nothing: a first save
        {[&] { write("[General]\nold=1\n"); }, true},
        {[&] { QDir().mkpath(path()); }, false},
        {[&] { makeFifo(path()); }, false},
        {[&] {
             makeFifo(elsewhere);
             QFile::link(elsewhere, path());
         },
         false},
        {[&] { QFile::link(elsewhere, path()); }, false},  // a link that leads nowhere
        {[&] {  // a dotfile manager's link: it stays a link, and its target is replaced
             write("[General]\nkept=1\n", elsewhere);
             QFile::link(elsewhere, path());
         },
         true},
    };
    for (const auto& [make, replaces] : cases) {
        make();
        const mode_t before = mode(path(), false);
        SCOPED_TRACE(before);
        IniUserDefaults d(path());
        d.setBool("isOverlayEnabled", true);
        EXPECT_EQ(d.sync(), replaces);
        if (replaces) {
            EXPECT_TRUE(contents(path()).contains("\nisOverlayEnabled=true\n"));
            EXPECT_EQ(S_ISLNK(mode(path(), false)), S_ISLNK(before));
        } else {
            EXPECT_EQ(mode(path(), false), before) << "replaced";
        }
        QFile::remove(path());
        QFile::remove(elsewhere);
        QDir(path()).removeRecursively();
    }
}

TEST_F(IniUserDefaultsTest, SaveKeepsCommentsOtherKeysAndLinesItCannotReadAndReportsSuccess) {
    const QByteArray original =
        "# a note in another dialect\n[General]\n; why the overlay is off\n"
        "isOverlayEnabled=false\nnot a setting at all\n\n[Other]\nisOverlayEnabled=true\n";
    write(original);
    IniUserDefaults d(path());
    ASSERT_FALSE(d.boolValue("isOverlayEnabled"));
    // Another program adds a key after we read the file: it stays too.
    const QByteArray later = "[General]\nlaterKey=2\n";
    write(original + later);

    d.setBool("isOverlayEnabled", true);
    d.setFloat("screenBrightness", -0.4f);
    EXPECT_TRUE(d.sync());
    EXPECT_EQ(contents(path()),
              QByteArray(original).replace("=false", "=true") + later + "screenBrightness=-0.4\n");
}

TEST_F(IniUserDefaultsTest, SaveReplacesAPrivateFileAtomically) {
    const mode_t savedMask = ::umask(022);
    {
        IniUserDefaults d(path());
        d.setString("generation", "old");
        ASSERT_TRUE(d.sync());
    }
    ::umask(savedMask);
    EXPECT_EQ(mode(folder()) & 0777, 0700u);
    EXPECT_EQ(mode(path()) & 0777, 0600u);
    ::chmod(QFile::encodeName(path()), 0644);

    // A reader that opened the old file keeps seeing it whole: the new file is written aside and
    // renamed over it, never truncated and rewritten in place.
    QFile oldFile(path());
    ASSERT_TRUE(oldFile.open(QIODevice::ReadOnly));
    IniUserDefaults d(path());
    d.setString("generation", "new");
    d.setString("padding", QString(10000, QChar('x')));
    ASSERT_TRUE(d.sync());

    EXPECT_TRUE(oldFile.readAll().contains("generation=old"));
    EXPECT_TRUE(contents(path()).contains("generation=new"));
    EXPECT_EQ(mode(path()) & 0777, 0600u);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"glimmora.conf"});
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
