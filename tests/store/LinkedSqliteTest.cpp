#include "store/Database.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

// The SQL texts of the program's sources: each run of adjacent string literals joined, as the
// compiler joins them.
QStringList sqlTexts(const QString& file)
{
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString text = QString::fromUtf8(source.readAll());
    static const QRegularExpression literal(QStringLiteral(R"re("((?:[^"\\\n]|\\.)*)")re"));
    QStringList joined;
    qsizetype lastEnd = -1;
    for (auto match = literal.globalMatch(text); match.hasNext();) {
        const auto m = match.next();
        const bool adjacent = lastEnd >= 0 && text.mid(lastEnd, m.capturedStart() - lastEnd).trimmed().isEmpty();
        if (adjacent && !joined.isEmpty()) {
            joined.last() += m.captured(1);
        } else {
            joined.append(m.captured(1));
        }
        lastEnd = m.capturedEnd();
    }
    return joined;
}

// What Debian's SQLCipher (SQLite 3.15) does not know: when the linked library refuses the sample,
// no statement of the sources may use the construct; a test that only ran the window would be
// the first to find it.
TEST(LinkedSqliteTest, NoStatementUsesWhatTheLinkedLibraryRefuses)
{
    struct Construct
    {
        const char* name;
        const char* sample;
        const char* pattern; // in a joined literal
        const char* unless = nullptr; // ... that also holds this
    };
    const Construct constructs[] = {
        { "HAVING without GROUP BY", "SELECT max(x) FROM t HAVING count(*) > 0", R"(\bHAVING\b)", "GROUP BY" },
        { "window function", "SELECT row_number() OVER (ORDER BY x) FROM t", R"(\bOVER\s*\()" },
        { "upsert", "INSERT INTO t (x) VALUES (1) ON CONFLICT (x) DO NOTHING", R"(\bON CONFLICT\b)" },
        { "RETURNING", "INSERT INTO t (x) VALUES (1) RETURNING x", R"(\bRETURNING\b)" },
        { "aggregate FILTER", "SELECT count(*) FILTER (WHERE x > 0) FROM t", R"(\bFILTER\s*\(\s*WHERE\b)" },
        { "NULLS FIRST/LAST", "SELECT x FROM t ORDER BY x NULLS LAST", R"(\bNULLS (FIRST|LAST)\b)" },
        { "MATERIALIZED", "WITH c AS MATERIALIZED (SELECT 1) SELECT * FROM c", R"(\bAS (NOT )?MATERIALIZED\b)" },
        { "JSON arrow", "SELECT '{}' ->> '$.a'", R"(->>)" },
    };
    QTemporaryDir dir;
    auto db = Database::open(dir.filePath(QStringLiteral("probe.db")), Database::OpenMode::CreateNew);
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    ASSERT_TRUE((*db)->exec("CREATE TABLE t (x INTEGER UNIQUE)").ok());
    // The library must refuse the first: the check below is the one that mattered.
    ASSERT_FALSE((*db)->prepare(constructs[0].sample).ok());

    QStringList files;
    for (const char* folder : { "store", "archive", "query", "cli", "ui" }) {
        QDirIterator it(QStringLiteral(SHOULU_SOURCE_DIR "/") + QLatin1String(folder), { QStringLiteral("*.cpp") },
            QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files.append(it.next());
        }
    }
    ASSERT_GT(files.size(), 20);
    for (const Construct& c : constructs) {
        if ((*db)->prepare(c.sample).ok()) {
            continue; // the linked library knows it
        }
        const QRegularExpression pattern(QString::fromLatin1(c.pattern));
        for (const QString& file : files) {
            for (const QString& sql : sqlTexts(file)) {
                const bool excused = c.unless != nullptr && sql.contains(QLatin1String(c.unless));
                EXPECT_FALSE(pattern.match(sql).hasMatch() && !excused)
                    << c.name << " in " << QDir(QStringLiteral(SHOULU_SOURCE_DIR)).relativeFilePath(file).toStdString()
                    << ": " << sql.toStdString();
            }
        }
    }
}

} // namespace
} // namespace shoulu
