#include "store/FileAccess.h"

#include <QDir>
#include <QFileInfo>

namespace shoulu {

namespace {

QString folderOf(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absolutePath());
}

} // namespace

Writability writabilityOf(const QString& path)
{
    const QFileInfo file(path);
    return { file.isWritable(), QFileInfo(file.absolutePath()).isWritable() };
}

Result<bool> opensReadOnly(const QString& path, Access access, Writability writable)
{
    switch (access) {
    case Access::ReadOnly:
        return true;
    case Access::Read:
        return !writable.file || !writable.folder;
    case Access::Write:
        break;
    }
    if (!writable.file) {
        return Error { QStringLiteral("%1 is read-only: no result could be stored in it").arg(path) };
    }
    if (!writable.folder) {
        return Error { QStringLiteral("the folder %1 is not writable: %2 can only be read, as storing needs its log "
                                      "files beside it")
                           .arg(folderOf(path), QFileInfo(path).fileName()) };
    }
    return false;
}

Result<void> checkFolderWritable(const QString& path, const QString& purpose)
{
    if (!QFileInfo(QFileInfo(path).absolutePath()).isWritable()) {
        return Error { QStringLiteral("the folder %1 is not writable: %2").arg(folderOf(path), purpose) };
    }
    return {};
}

} // namespace shoulu
