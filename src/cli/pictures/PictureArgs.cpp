#include "cli/pictures/PictureArgs.h"

#include "query/DomainText.h"

#include <QApplication>

namespace shoulu::cli {

bool canDraw(const QString& prefix, Streams& io)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        print(io.err, prefix + QStringLiteral("drawing needs the program's widget application\n"));
        return false;
    }
    return true;
}

std::unique_ptr<OpenRows> OpenRows::open(const QString& path, const QString& prefix, Streams& io)
{
    auto db = SettingsDatabase::open(path);
    if (!db) {
        print(io.err, prefix + QStringLiteral("cannot open the database: %1\n").arg(escapeControls(db.error())));
        return nullptr;
    }
    return std::unique_ptr<OpenRows>(new OpenRows(std::move(*db)));
}

OpenRows::OpenRows(std::unique_ptr<SettingsDatabase> db)
    : m_db(std::move(db))
    , m_rows(m_db->database())
{ }

} // namespace shoulu::cli
