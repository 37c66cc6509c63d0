#include "BenchDatabase.h"
#include "engines/EngineTable.h"
#include "engines/Reading.h"
#include "store/Database.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/Schema.h"
#include "store/SettingsDatabase.h"
#include "support/HistoryGenerator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

using namespace shoulu;
using namespace shoulu::bench;

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
    if (const Result<QString>& versionOne = cachedFile(Kind::VersionOne); versionOne) {
        state.counters["MB_per_1M_rows_without_readings"] = megabytesPerMillionRows(*versionOne);
    }
    state.counters["MB_per_1M_rows_with_7_readings"] = megabytesPerMillionRows(*cachedFile(Kind::WithReadings));
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
    // Checked once, after the timed loop.
    auto result = view(rows);
    if (!result || !std::all_of(result->begin(), result->end(), [](const ResultRow& row) {
            return row.readings.size() == ReadingsPerRow;
        })) {
        state.SkipWithError("rows without their readings");
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

EngineReading reading(int engine, ReadingStatus status, Count count, const QString& rule, int httpStatus)
{
    EngineReading each;
    each.engine = QLatin1String(engineInfo(engine).name);
    each.reading.status = status;
    each.reading.count = count;
    each.reading.rule = rule;
    each.reading.httpStatus = httpStatus;
    each.reading.finalHost = QStringLiteral("www.%1.com").arg(each.engine);
    each.reading.fetchedAt = QDateTime::currentDateTime();
    return each;
}

// One committed row with a reading per engine, as a query stores it.
void BM_AddRowWithReadings(benchmark::State& state)
{
    BenchDatabase* database = prepared(state);
    if (database == nullptr) {
        return;
    }
    ResultRows rows(database->db().database());
    const QDateTime now = QDateTime::currentDateTime();
    EngineCounts counts { 1, 2, 0, 4, 5, 0, 7 };
    QList<EngineReading> readings;
    for (int engine = 0; engine < EngineCount; ++engine) {
        readings.append(reading(engine, ReadingStatus::Counted, counts[static_cast<size_t>(engine)],
            QStringLiteral("count: About ([0-9,]+) results"), 200));
    }
    readings[2] = reading(2, ReadingStatus::Blocked, 0, QStringLiteral("http 429"), 429);
    readings[5] = reading(5, ReadingStatus::None, 0, QStringLiteral("markers"), 200);
    for (auto _ : state) {
        if (auto added = rows.addshoulu(test::HistoryGenerator::domainName(7), now, counts, readings); !added) {
            state.SkipWithError(added.error().toUtf8().constData());
            return;
        }
    }
}

// Opening a version-1 file of a million rows brings it to the current layout. The copy is made
// outside the timing; the close is inside, as the user waits for it too.
void BM_Migrate(benchmark::State& state)
{
    const Result<QString>& source = cachedFile(Kind::VersionOne);
    if (!source) {
        state.SkipWithError(source.error().toUtf8().constData());
        return;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setting.dat"));
    for (auto _ : state) {
        QFile::remove(path);
        if (!QFile::copy(*source, path)) {
            state.SkipWithError("cannot copy the version-1 file");
            return;
        }
        QElapsedTimer clock;
        clock.start();
        {
            auto db = SettingsDatabase::open(path);
            if (!db) {
                state.SkipWithError(db.error().toUtf8().constData());
                return;
            }
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        auto migrated = detail::openBare(path);
        if (!migrated || detail::single(**migrated, "PRAGMA user_version") != Schema::Version
            || detail::single(**migrated, "SELECT count(*) FROM reading") != 0) {
            state.SkipWithError("the file was not brought to the current layout");
            return;
        }
    }
    state.counters["MB_per_1M_rows_before"] = megabytesPerMillionRows(*source);
    state.counters["MB_per_1M_rows_after"] = megabytesPerMillionRows(path);
}

} // namespace

BENCHMARK(BM_OpenAndLoadDomains)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_LatestRows)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_DailyRows)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_ChartWindow)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_AddRowWithReadings)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_Migrate)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(3)
    ->DisplayAggregatesOnly(true);

BENCHMARK_MAIN();
