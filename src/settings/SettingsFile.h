#pragma once

#include <QByteArray>
#include <QString>

namespace glimmora {

/// The settings file on disk, read and replaced with the care a file in the user's home needs.
///
/// Reading never blocks and never takes in more than a settings file can sensibly hold: only a
/// regular file of at most kLargestSize bytes is read; a FIFO, a device, a directory or a huge
/// file is refused, and nothing is opened that could wait for a writer or start a device.
///
/// Replacing writes the new text to a file of its own beside the old one (mode 0600), flushes
/// it to the disk and renames it over the old one, so a crash leaves the old file or the new
/// one, never part of one. Only a regular file is ever replaced: a symbolic link to a regular
/// file (as dotfile managers make) stays a link and its target is replaced; a link to
/// anything else, a dangling link, a FIFO or a device is refused. Missing directories are
/// created with mode 0700.
class SettingsFile {
public:
    /// 1 MB: a settings file is a few kilobytes; anything larger is not one.
    static constexpr qint64 kLargestSize = 1 << 20;

    struct Contents {
        enum class Status {
            Read,        ///< `text` holds the whole file
            Missing,     ///< there is no file (nor directory): a first launch
            Refused,     ///< there is something, but not a file to read: `problem` says why
            Unreadable,  ///< there is a file, but reading it failed: `problem` says why
        };
        Status status = Status::Missing;
        QByteArray text;
        /// Why the file was refused or not read, completing "<path> ...": "is not a regular
        /// file".
        QString problem;
    };

    /// Reads the file at `path`.
    static Contents read(const QString& path);

    /// Replaces the file at `path` with `text`. Returns false, with `problem` completing
    /// "<path> ...", when nothing was replaced; true only once the new text is on the disk.
    static bool replace(const QString& path, const QByteArray& text, QString* problem);
};

}  // namespace glimmora
