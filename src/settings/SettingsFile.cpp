#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace glimmora {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

/// Closes a descriptor when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    /// Closes it now, reporting whether the last writes made it (close can say they did not).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool isMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

QByteArray directoryOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) {
        return ".";
    }
    return slash == 0 ? QByteArray("/") : path.first(slash);
}

/// Creates `directory` and any missing parents with mode 0700; those that exist stay as they
/// are.
bool makeDirectories(const QByteArray& directory, QString* problem) {
    struct stat info {};
    if (::stat(directory.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            return true;
        }
        *problem = QStringLiteral("cannot be written: %1 is not a directory")
                       .arg(QFile::decodeName(directory));
        return false;
    }
    const QByteArray parent = directoryOf(directory);
    if (parent != directory && !makeDirectories(parent, problem)) {
        return false;
    }
    if (::mkdir(directory.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = QStringLiteral("cannot be written: creating %1: %2")
                       .arg(QFile::decodeName(directory), systemError(errno));
        return false;
    }
    return true;
}

bool writeAll(int fd, const QByteArray& text) {
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n =
            ::write(fd, text.constData() + done, static_cast<size_t>(text.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

/// The file a save must replace for `path`: the path itself, or where its links lead. Empty,
/// with `problem` set, when that is not a regular file (nor missing).
QByteArray replacedFile(const QByteArray& path, QString* problem) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) {
        if (isMissing(errno)) {
            return path;
        }
        *problem = QStringLiteral("cannot be written: %1").arg(systemError(errno));
        return {};
    }
    if (S_ISREG(info.st_mode)) {
        return path;
    }
    if (!S_ISLNK(info.st_mode)) {
        *problem = QStringLiteral("is not a regular file; not replaced");
        return {};
    }
    const std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(path.constData(), nullptr), &std::free);
    if (!resolved) {
        *problem = QStringLiteral("is a link that leads nowhere (%1); not replaced")
                       .arg(systemError(errno));
        return {};
    }
    if (::stat(resolved.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        *problem = QStringLiteral("is a link to something other than a regular file; not replaced");
        return {};
    }
    return resolved.get();
}

}  // namespace

SettingsFile::Contents SettingsFile::read(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    Contents contents;
    const auto refuse = [&contents](QString problem) {
        contents.status = Contents::Status::Refused;
        contents.problem = std::move(problem);
        return contents;
    };
    const auto fail = [&contents](int error) {
        contents.status = Contents::Status::Unreadable;
        contents.problem = QStringLiteral("cannot be read: %1").arg(systemError(error));
        return contents;
    };
    // Judged before opening: opening a device can have effects of its own.
    struct stat before {};
    if (::stat(name.constData(), &before) != 0) {
        if (isMissing(errno)) {
            return contents;
        }
        return fail(errno);
    }
    const QString notRegular = QStringLiteral("is not a regular file");
    const QString tooLarge = QStringLiteral("is larger than %1 bytes").arg(kLargestSize);
    if (!S_ISREG(before.st_mode)) {
        return refuse(notRegular);
    }
    if (before.st_size > kLargestSize) {
        return refuse(tooLarge);
    }
    // Non-blocking, in case a FIFO took the file's place since: it must not wait for a writer.
    Descriptor file(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        if (isMissing(errno)) {
            return contents;
        }
        return fail(errno);
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
        return refuse(notRegular);
    }
    // Room for the size it has now and one byte more, which tells a file that grew since;
    // more room only as it keeps growing, up to one byte past the limit.
    QByteArray text(std::min<qint64>(opened.st_size, kLargestSize) + 1, Qt::Uninitialized);
    qsizetype size = 0;
    for (;;) {
        if (size == text.size()) {
            if (size > kLargestSize) {
                break;
            }
            text.resize(std::min<qint64>(2 * size, kLargestSize + 1));
        }
        const ssize_t n =
            ::read(file.get(), text.data() + size, static_cast<size_t>(text.size() - size));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return fail(errno);
        }
        if (n == 0) {
            break;
        }
        size += n;
    }
    if (size > kLargestSize) {
        return refuse(tooLarge);
    }
    text.truncate(size);
    text.squeeze();
    contents.status = Contents::Status::Read;
    contents.text = std::move(text);
    return contents;
}

bool SettingsFile::replace(const QString& path, const QByteArray& text, QString* problem) {
    QString ignored;
    QString& why = problem != nullptr ? *problem : ignored;
    const QByteArray target = replacedFile(QFile::encodeName(path), &why);
    if (target.isEmpty()) {
        return false;
    }
    const QByteArray directory = directoryOf(target);
    if (!makeDirectories(directory, &why)) {
        return false;
    }
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray temporary = directory + "/." + target.sliced(slash + 1) + ".XXXXXX";
    Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) {
        why = QStringLiteral("cannot be written: %1").arg(systemError(errno));
        return false;
    }
    const auto fail = [&](int error) {
        ::unlink(temporary.constData());
        why = QStringLiteral("cannot be written: %1").arg(systemError(error));
        return false;
    };
    if (::fchmod(file.get(), 0600) != 0 || !writeAll(file.get(), text) ||
        ::fsync(file.get()) != 0 || !file.close()) {
        return fail(errno);
    }
    // Once more just before the rename: something else may have taken the file's place.
    struct stat info {};
    if (::lstat(target.constData(), &info) == 0 && !S_ISREG(info.st_mode)) {
        ::unlink(temporary.constData());
        why = QStringLiteral("is not a regular file; not replaced");
        return false;
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        return fail(errno);
    }
    // The rename itself reaches the disk with the directory.
    Descriptor folder(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get());
    }
    return true;
}

}  // namespace glimmora
