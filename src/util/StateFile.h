#pragma once

#include "util/BoundedRead.h"
#include "util/Result.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shoulu {

// The files the program keeps its state in (the database, the page archive, the engine
// catalogue) are regular files, or nothing yet. Opening a FIFO for reading waits for a writer
// forever; beside a device SQLite makes its side files (/dev/null-journal, as root for anyone
// to write). Files a user names for one-off input or output are not checked here.
//     if (Result<void> fits = checkStateFile(path); !fits) { return fits; }

namespace detail {

inline QString fileKind(mode_t mode)
{
    if (S_ISFIFO(mode)) {
        return QStringLiteral("a named pipe (FIFO)");
    }
    if (S_ISCHR(mode)) {
        return QStringLiteral("a character device");
    }
    if (S_ISBLK(mode)) {
        return QStringLiteral("a block device");
    }
    if (S_ISSOCK(mode)) {
        return QStringLiteral("a socket");
    }
    if (S_ISDIR(mode)) {
        return QStringLiteral("a folder");
    }
    return QStringLiteral("a special file");
}

inline Error notRegular(const QString& path, mode_t mode)
{
    return Error { QStringLiteral("%1 is %2: not a file the program can keep its state in (regular files only)")
                       .arg(path, fileKind(mode)) };
}

} // namespace detail

// Nothing at the path (through symbolic links), or a regular file; otherwise the refusal says
// what stands there. Looks without opening.
inline Result<void> checkStateFile(const QString& path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return {}; // nothing there yet; whoever creates or opens it says why it cannot
    }
    if (!S_ISREG(info.st_mode)) {
        return detail::notRegular(path, info.st_mode);
    }
    return {};
}

// The whole of a regular file, refused past `cap` bytes; every error names the path. Opened
// without waiting, so that a FIFO put in the file's place is refused rather than read.
inline Result<QByteArray> readStateFile(const QString& path, qint64 cap)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return Error { QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))) };
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const Error refused = detail::notRegular(path, info.st_mode);
        ::close(fd);
        return refused;
    }
    FILE* stream = ::fdopen(fd, "rb");
    if (stream == nullptr) {
        const Error failed {
            QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)))
        };
        ::close(fd);
        return failed;
    }
    Result<QByteArray> bytes = readAtMost(stream, cap);
    std::fclose(stream);
    if (!bytes) {
        return bytes.failure().reworded(QStringLiteral("%1: %2").arg(path, bytes.error()));
    }
    return bytes;
}

} // namespace shoulu
