#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QProcess>
#include <QSize>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <csignal>
#include <string>

namespace glimmora::test {

/// A private Xvfb for one test: started on a display number it picks itself (it reports the
/// number through -displayfd once it accepts connections) and killed at the end, so tests can
/// run in parallel.
class XvfbServer {
public:
    explicit XvfbServer(QSize size = QSize(640, 480)) {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) {
            return;
        }
        const std::string screen =
            std::to_string(size.width()) + "x" + std::to_string(size.height()) + "x24";
        pid_ = fork();
        if (pid_ == 0) {
            // Only the pipe goes along: inherited X connections would outlive their owners.
            dup2(ready[1], 3);
            close_range(4, ~0u, 0);
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen.c_str(), "+extension",
                   "Composite", "+extension", "GLX", "-nolisten", "tcp", "-noreset",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        std::string number;
        pollfd wait{ready[0], POLLIN, 0};
        char c = 0;
        while (pid_ > 0 && poll(&wait, 1, 10000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(ready[0]);
        if (c == '\n' && !number.empty()) {
            displayName_ = QStringLiteral(":%1").arg(QString::fromStdString(number));
        }
    }

    ~XvfbServer() { kill(SIGTERM); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool isRunning() const { return pid_ > 0 && !displayName_.isEmpty(); }
    /// ":N"
    const QString& displayName() const { return displayName_; }

    /// Sends `signal`; for SIGTERM and SIGKILL also waits for the server to end.
    void kill(int signal = SIGKILL) {
        if (pid_ <= 0) {
            return;
        }
        if (signal == SIGTERM || signal == SIGKILL) {
            ::kill(pid_, SIGCONT);  // a paused server cannot die
            ::kill(pid_, signal);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        } else {
            ::kill(pid_, signal);
        }
    }

    /// Runs xrandr on this display; false when it failed or is not installed.
    bool xrandr(const QStringList& arguments) const {
        if (QStandardPaths::findExecutable(QStringLiteral("xrandr")).isEmpty()) {
            return false;
        }
        return QProcess::execute(
                   QStringLiteral("xrandr"),
                   QStringList{QStringLiteral("-display"), displayName_} + arguments) == 0;
    }

private:
    pid_t pid_ = -1;
    QString displayName_;
};

}  // namespace glimmora::test
