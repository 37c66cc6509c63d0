#pragma once

#include "util/Result.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace shoulu {

// The whole of a stream, refused once it holds more than `cap` bytes: at most cap + 1 bytes
// are ever held, so an endless source (/dev/zero, a runaway pipe) costs bounded memory.
inline Result<QByteArray> readAtMost(FILE* stream, qint64 cap)
{
    QByteArray bytes;
    char buffer[65536];
    while (bytes.size() <= cap) {
        const qint64 room = cap + 1 - bytes.size();
        const size_t want = size_t(qMin<qint64>(qint64(sizeof buffer), room));
        const size_t got = std::fread(buffer, 1, want, stream);
        bytes.append(buffer, qsizetype(got));
        if (got < want) {
            break;
        }
    }
    if (std::ferror(stream)) {
        return Error { QString::fromLocal8Bit(std::strerror(errno)) };
    }
    if (bytes.size() > cap) {
        constexpr qint64 MiB = 1024 * 1024;
        const QString limit
            = cap % MiB == 0 ? QStringLiteral("%1 MiB").arg(cap / MiB) : QStringLiteral("%1 bytes").arg(cap);
        return Error { QStringLiteral("more than %1, the most an input may hold").arg(limit) };
    }
    return bytes;
}

inline Result<QByteArray> readFileAtMost(const QString& path, qint64 cap)
{
    FILE* stream = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (stream == nullptr) {
        return Error { QString::fromLocal8Bit(std::strerror(errno)) };
    }
    Result<QByteArray> bytes = readAtMost(stream, cap);
    std::fclose(stream);
    return bytes;
}

} // namespace shoulu
