#include "menu/AutostartEntry.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace glimmora {
namespace {

TEST(AutostartEntryTest, SwitchingOnWritesTheEntryTheSessionMaySwitchOffAndOffRemovesIt) {
    const QTemporaryDir config;
    AutostartEntry entry(config.path(), QStringLiteral("/opt/glimmora/glimmora"));
    EXPECT_FALSE(entry.isEnabled());
    ASSERT_TRUE(entry.setEnabled(true));  // the autostart folder does not exist yet
    EXPECT_EQ(entry.filePath(),
              config.path() + QStringLiteral("/autostart/io.github.glimmora.Glimmora.desktop"));
    EXPECT_TRUE(entry.isEnabled());
    QFile file(entry.filePath());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("Hidden=true\n");  // how a session's settings switch an entry off
    file.close();
    EXPECT_FALSE(entry.isEnabled());
    ASSERT_TRUE(entry.setEnabled(false));
    EXPECT_FALSE(QFile::exists(entry.filePath()));
}

TEST(AutostartEntryTest, ExecLineQuotesWhatTheSessionWouldExpand) {
    const QString text = AutostartEntry::desktopFileText(QStringLiteral("/home/a b/$x\\y%z\"q"));
    EXPECT_TRUE(text.contains(QStringLiteral(R"(Exec="/home/a b/\\$x\\\\y%%z\\"q")"
                                             "\n")))
        << text.toStdString();
}

TEST(AutostartEntryTest, NameCommentAndIconAreThoseOfTheInstalledMenuEntry) {
    QFile installed(QStringLiteral(GLIMMORA_DESKTOP_ENTRY));
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList menuEntry = QString::fromUtf8(installed.readAll()).split(QLatin1Char('\n'));
    // The Exec line names this program by its path; the rest describes the same application.
    for (const QString& line : AutostartEntry::desktopFileText(QStringLiteral("/usr/bin/glimmora"))
                                   .split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("Exec=")) && !line.startsWith(QLatin1String("X-"))) {
            EXPECT_TRUE(menuEntry.contains(line)) << line.toStdString();
        }
    }
}

}  // namespace
}  // namespace glimmora
