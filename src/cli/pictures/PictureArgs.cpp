#include "cli/pictures/PictureArgs.h"

#include <QApplication>

namespace shoulu::cli {

std::optional<QString> optionValue(const QStringList& args, qsizetype& i, const QString& name, bool& missing)
{
    const QString& arg = args.at(i);
    if (arg.startsWith(name + QLatin1Char('='))) {
        return arg.mid(name.size() + 1);
    }
    if (arg != name) {
        return std::nullopt;
    }
    if (i + 1 >= args.size()) {
        missing = true;
        return std::nullopt;
    }
    return args.at(++i);
}

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
        print(io.err, prefix + QStringLiteral("cannot open the database: %1\n").arg(db.error()));
        return nullptr;
    }
    return std::unique_ptr<OpenRows>(new OpenRows(std::move(*db)));
}

OpenRows::OpenRows(std::unique_ptr<SettingsDatabase> db)
    : m_db(std::move(db))
    , m_rows(m_db->database())
{ }

} // namespace shoulu::cli
