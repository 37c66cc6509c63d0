#include "store/DataFolder.h"

#include "store/SettingsDatabase.h"

#include <QDir>
#include <QFileInfo>

namespace shoulu {

QString perUserFolder(const QProcessEnvironment& env)
{
    const QString dataHome = env.value(QStringLiteral("XDG_DATA_HOME"));
    const QString base = !dataHome.isEmpty() && QDir::isAbsolutePath(dataHome)
        ? dataHome
        : env.value(QStringLiteral("HOME"), QDir::homePath()) + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/shoulu"));
}

QString defaultDatabasePath(const QProcessEnvironment& env)
{
    const QString named = env.value(QLatin1String(DatabaseVariable));
    return named.isEmpty() ? QString::fromLatin1(SettingsDatabase::DefaultFileName) : named;
}

Result<QString> preparePerUserDatabase(const QString& folder)
{
    QDir dir(folder);
    if (!dir.exists()) {
        // The history may be a client's business: only the owner looks into the folder.
        if (!dir.mkpath(QStringLiteral("."))
            || !QFile::setPermissions(dir.absolutePath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
            return Error { QStringLiteral("无法创建数据文件夹 %1").arg(dir.absolutePath()) };
        }
    }
    const QString path = dir.absoluteFilePath(QString::fromLatin1(SettingsDatabase::DefaultFileName));
    if (QFileInfo::exists(path)) {
        return path;
    }
    if (auto created = SettingsDatabase::create(path); !created) {
        return created.failure();
    }
    return path;
}

} // namespace shoulu
