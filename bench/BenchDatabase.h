#pragma once

// The million-row databases the benchmarks share: 1,000 listed domains x 1,000 days, encrypted.
// Two are kept: one of the first layout (no readings) for the migration, and one of the current
// layout with a reading per engine on every row for everything else.

#include "store/Database.h"
#include "store/SettingsDatabase.h"
#include "support/HistoryGenerator.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <optional>

namespace shoulu::bench {

inline constexpr int Domains = 1000;
inline constexpr int Days = 1000;
inline constexpr int ReadingsPerRow = 7;
inline const char* const VersionOneFile = "/tmp/shoulu-bench-1m.dat";
inline const char* const ReadingsFile = "/tmp/shoulu-bench-1m-readings.dat";

enum class Kind {
    VersionOne, // layout 1: domain and shoulu only
    WithReadings, // current layout, seven readings per row
};

namespace detail {

// Opening through SettingsDatabase would migrate a version-1 file, so the kept files are
// checked over a bare connection keyed with the same text.
inline Result<std::unique_ptr<Database>> openBare(const QString& path)
{
    auto db = Database::open(path, Database::OpenMode::Existing);
    if (!db) {
        return db;
    }
    if (auto keyed = (*db)->key(QByteArray("蓝杉木舟北岸晚钟声远")); !keyed) {
        return Error { keyed.error() };
    }
    return db;
}

inline std::optional<qint64> single(Database& db, const char* sql)
{
    auto statement = db.prepare(sql);
    if (!statement) {
        return std::nullopt;
    }
    auto row = statement->step();
    return row && *row ? std::optional<qint64>(statement->int64At(0)) : std::nullopt;
}

inline constexpr const char* DropReadings = "DROP TABLE reading; DROP TABLE reading_rule; PRAGMA user_version = 1;";

inline bool usable(const QString& path, Kind kind)
{
    auto db = openBare(path);
    if (!db || single(**db, "SELECT max(id) FROM shoulu") != qint64 { Domains } * Days) {
        return false;
    }
    const auto version = single(**db, "PRAGMA user_version");
    if (kind == Kind::WithReadings) {
        return version == 2
            && single(**db, "SELECT count(*) FROM reading WHERE shoulu_id = (SELECT max(id) FROM shoulu)")
            == ReadingsPerRow;
    }
    if (version == 2 && single(**db, "SELECT count(*) FROM reading") == 0) {
        // Migrated by an older bench that opened it directly: nothing was added but empty tables.
        return (*db)->exec(DropReadings).ok();
    }
    return version == 1 && single(**db, "SELECT count(*) FROM sqlite_master WHERE name = 'reading'") == 0;
}

inline Result<void> make(const QString& target, Kind kind)
{
    const QString partial = target + QStringLiteral(".partial");
    QFile::remove(partial);
    const bool withReadings = kind == Kind::WithReadings;
    std::fprintf(stderr, "making %s (%d domains x %d days, %s)...\n", qPrintable(target), Domains, Days,
        withReadings ? "seven readings per row" : "layout 1");
    QElapsedTimer timer;
    timer.start();
    if (auto created = SettingsDatabase::create(partial); !created) {
        return created;
    }
    {
        auto db = SettingsDatabase::open(partial);
        if (!db) {
            return Error { db.error() };
        }
        auto filled = test::HistoryGenerator::fill((*db)->database(), Domains, Days, QDate(2020, 1, 1),
            withReadings ? test::HistoryGenerator::Readings::Seven : test::HistoryGenerator::Readings::Without);
        if (!filled) {
            return filled;
        }
        if (!withReadings) {
            if (auto dropped = (*db)->database().exec(DropReadings); !dropped) {
                return dropped;
            }
        }
    }
    std::fprintf(stderr, "made in %.1f s, %.1f MB\n", timer.elapsed() / 1000.0, QFileInfo(partial).size() / 1048576.0);
    if (!QFile::rename(partial, target)) {
        return Error { QStringLiteral("cannot rename %1").arg(partial) };
    }
    return {};
}

inline Result<QString> ensure(Kind kind)
{
    const QString cached = QString::fromLatin1(kind == Kind::WithReadings ? ReadingsFile : VersionOneFile);
    if (!QFileInfo::exists(cached) || !usable(cached, kind)) {
        QFile::remove(cached);
        if (auto made = make(cached, kind); !made) {
            return Error { made.error() };
        }
    }
    return cached;
}

} // namespace detail

// The kept file of that kind, made the first time (a few minutes). Never open it through
// SettingsDatabase: work on a copy.
inline const Result<QString>& cachedFile(Kind kind)
{
    if (kind == Kind::WithReadings) {
        static const Result<QString> withReadings = detail::ensure(kind);
        return withReadings;
    }
    static const Result<QString> versionOne = detail::ensure(kind);
    return versionOne;
}

// Size of a file of Domains x Days rows, scaled to a million rows.
inline double megabytesPerMillionRows(const QString& path)
{
    return static_cast<double>(QFileInfo(path).size()) / 1048576.0 / (static_cast<double>(Domains) * Days / 1e6);
}

// A copy of the readings file, open; each run works on its own copy so that inserts never grow
// the kept file.
class BenchDatabase
{
public:
    static BenchDatabase& instance()
    {
        static BenchDatabase database;
        return database;
    }

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    const QString& path() const { return m_path; }
    SettingsDatabase& db() { return *m_db; }

private:
    BenchDatabase()
    {
        const Result<QString>& cached = cachedFile(Kind::WithReadings);
        if (!cached) {
            m_error = cached.error();
            return;
        }
        m_path = m_dir.filePath(QStringLiteral("setting.dat"));
        if (!QFile::copy(*cached, m_path)) {
            m_error = QStringLiteral("cannot copy %1").arg(*cached);
            return;
        }
        auto db = SettingsDatabase::open(m_path);
        if (!db) {
            m_error = db.error();
            return;
        }
        m_db = std::move(*db);
    }

    QTemporaryDir m_dir;
    QString m_path;
    QString m_error;
    std::unique_ptr<SettingsDatabase> m_db;
};

// The shared database, or null with the benchmark marked as skipped.
inline BenchDatabase* prepared(benchmark::State& state)
{
    BenchDatabase& database = BenchDatabase::instance();
    if (!database.ok()) {
        state.SkipWithError(database.error().toUtf8().constData());
        return nullptr;
    }
    return &database;
}

} // namespace shoulu::bench
