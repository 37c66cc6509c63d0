#pragma once

// The million-row database the benchmarks share: 1,000 listed domains x 1,000 days, encrypted.

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

namespace shoulu::bench {

inline constexpr int Domains = 1000;
inline constexpr int Days = 1000;
inline const char* const CachedFile = "/tmp/shoulu-bench-1m.dat";

// Making a million encrypted rows takes a while: the file is made once and kept in /tmp, and
// each run works on a copy so that inserts never grow the kept file.
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
        const QString cached = QString::fromLatin1(CachedFile);
        if (!QFileInfo::exists(cached) || !usable(cached)) {
            QFile::remove(cached);
            if (!make(cached)) {
                return;
            }
        }
        m_path = m_dir.filePath(QStringLiteral("setting.dat"));
        if (!QFile::copy(cached, m_path)) {
            m_error = QStringLiteral("cannot copy %1").arg(cached);
            return;
        }
        auto db = SettingsDatabase::open(m_path);
        if (!db) {
            m_error = db.error();
            return;
        }
        m_db = std::move(*db);
    }

    static bool usable(const QString& path)
    {
        auto db = SettingsDatabase::open(path);
        if (!db) {
            return false;
        }
        auto statement = (*db)->database().prepare("SELECT max(id) FROM shoulu");
        return statement && *statement->step() && statement->int64At(0) == qint64 { Domains } * Days;
    }

    bool make(const QString& target)
    {
        const QString partial = target + QStringLiteral(".partial");
        QFile::remove(partial);
        std::fprintf(stderr, "making %s (%d domains x %d days)...\n", CachedFile, Domains, Days);
        QElapsedTimer timer;
        timer.start();
        if (auto created = SettingsDatabase::create(partial); !created) {
            m_error = created.error();
            return false;
        }
        {
            auto db = SettingsDatabase::open(partial);
            if (!db) {
                m_error = db.error();
                return false;
            }
            auto filled = test::HistoryGenerator::fill((*db)->database(), Domains, Days, QDate(2020, 1, 1));
            if (!filled) {
                m_error = filled.error();
                return false;
            }
        }
        std::fprintf(
            stderr, "made in %.1f s, %.1f MB\n", timer.elapsed() / 1000.0, QFileInfo(partial).size() / 1048576.0);
        return QFile::rename(partial, target);
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
