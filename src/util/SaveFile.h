#pragma once

#include "util/Result.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace shoulu {

// Writes the whole file or leaves what was there: the bytes go to a temporary file beside it,
// renamed over it at the end. The error is the system's reason, for the caller to word.
inline Result<void> saveWholeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        return Error { file.errorString() };
    }
    return {};
}

} // namespace shoulu
