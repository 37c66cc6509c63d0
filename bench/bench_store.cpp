#include "store/Database.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"
#include "support/HistoryGenerator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

using namespace shoulu;

constexpr int Domains = 1000;
constexpr int Days = 1000;
const char* const CachedFile = "/tmp/shoulu-bench-1m.dat";

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

BenchDatabase* prepared(benchmark::State& state)
{
    BenchDatabase& database = BenchDatabase::instance();
    if (!database.ok()) {
        state.SkipWithError(database.error().toUtf8().constData());
        return nullptr;
    }
    return &database;
}

void BM_OpenAndLoadDomains(benchmark::State& state)
{
    BenchDatabase* database = prepared(state);
    if (database == nullptr) {
        return;
    }
    for (auto _ : state) {
        auto db = SettingsDatabase::open(database->path());
        if (!db) {
            state.SkipWithError(db.error().toUtf8().constData());
            return;
        }
        auto domains = DomainList((*db)->database()).loadDomain();
        if (!domains || domains->size() != Domains) {
            state.SkipWithError("domain list incomplete");
            return;
        }
    }
    state.counters["file_MB"] = static_cast<double>(QFileInfo(database->path()).size()) / 1048576.0;
}

template <typename View> void runView(benchmark::State& state, size_t expectedRows, View view)
{
    BenchDatabase* database = prepared(state);
    if (database == nullptr) {
        return;
    }
    ResultRows rows(database->db().database());
    for (auto _ : state) {
        auto result = view(rows);
        if (!result || result->size() != expectedRows) {
            state.SkipWithError("unexpected rows");
            return;
        }
        benchmark::DoNotOptimize(result->data());
    }
}

void BM_LatestRows(benchmark::State& state)
{
    runView(state, Domains, [](ResultRows& rows) { return rows.latestRows(); });
}

void BM_DailyRows(benchmark::State& state)
{
    const QString domain = test::HistoryGenerator::domainName(500);
    runView(state, Days, [&domain](ResultRows& rows) { return rows.dailyRows(domain); });
}

void BM_ChartWindow(benchmark::State& state)
{
    const QString domain = test::HistoryGenerator::domainName(500);
    runView(state, 30, [&domain](ResultRows& rows) { return rows.chartWindow(domain); });
}

void BM_AddRow(benchmark::State& state)
{
    BenchDatabase* database = prepared(state);
    if (database == nullptr) {
        return;
    }
    ResultRows rows(database->db().database());
    const QDateTime now = QDateTime::currentDateTime();
    EngineCounts counts { 1, 2, 3, 4, 5, 6, 7 };
    for (auto _ : state) {
        if (auto added = rows.addshoulu(test::HistoryGenerator::domainName(7), now, counts); !added) {
            state.SkipWithError(added.error().toUtf8().constData());
            return;
        }
    }
}

} // namespace

BENCHMARK(BM_OpenAndLoadDomains)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_LatestRows)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_DailyRows)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_ChartWindow)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_AddRow)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);

BENCHMARK_MAIN();
