#include "BenchDatabase.h"
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
