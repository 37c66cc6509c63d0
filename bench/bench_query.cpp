// One domain query from the click to its committed row, with every engine answering after
// 200 ms (the target is a median of 260 ms at most: the engines' time plus 60 ms of our own),
// and 300 single queries in a row against instant engines, whose resident memory must not
// grow by 5 MiB or more from the 50th query to the 300th.
#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "query/DomainQuery.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "support/EngineServer.h"
#include "support/EngineServerProcess.h"
#include "support/ResidentMemory.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

using namespace shoulu;
using namespace shoulu::test;

namespace {

constexpr double kMaxGrowthMiB = 5.0;

// A fresh store and a domain query over it, with the latest-rows view read at every refresh
// as the history list does; the engines play in this process, or in a child process.
class QueryBench
{
public:
    enum class Engines { InProcess, InChildProcess };

    explicit QueryBench(Engines where = Engines::InProcess)
    {
        if (where == Engines::InProcess) {
            m_engines.emplace(EngineServer::Encoding::Gbk);
        } else {
            m_child = std::make_unique<EngineServerProcess>(QStringList {});
            if (!m_child->ok()) {
                m_error = m_child->error();
                return;
            }
        }
        if (!m_temp.ok()) {
            m_error = m_temp.error();
            return;
        }
        auto db = m_temp.open();
        if (!db) {
            m_error = db.error();
            return;
        }
        m_db = std::move(db.value());
        m_domains = std::make_unique<DomainList>(m_db->database());
        m_rows = std::make_unique<ResultRows>(m_db->database());
        m_query = std::make_unique<DomainQuery>(*m_domains, *m_rows, EngineCatalogue::builtIn());
        if (m_engines) {
            m_query->setProxy(ProxySetting::via(m_engines->proxyUrl()));
        }
        QObject::connect(m_query.get(), &DomainQuery::historyRefreshRequested, [this] { (void)m_rows->latestRows(); });
        QObject::connect(m_query.get(), &DomainQuery::errorOccurred, [this](const QString& e) { m_error = e; });
    }

    const QString& error() const { return m_error; }
    EngineServer& engines() { return *m_engines; }

    // Runs one single query; returns the milliseconds from its start to its committed row, or
    // -1 when it failed or took over 10 s.
    double query(const QString& domain)
    {
        QEventLoop loop;
        double committedMs = -1;
        QElapsedTimer clock;
        const auto committed = QObject::connect(
            m_query.get(), &DomainQuery::rowCommitted, [&] { committedMs = double(clock.nsecsElapsed()) / 1e6; });
        const auto finished = QObject::connect(m_query.get(), &DomainQuery::runFinished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        clock.start();
        const DomainQuery::SingleStart start = m_query->startSingle(domain, m_items);
        const bool started = start.started;
        if (started) {
            loop.exec();
        }
        QObject::disconnect(committed);
        QObject::disconnect(finished);
        m_items = start.domainList;
        return started && !m_query->isBusy() && m_error.isEmpty() ? committedMs : -1;
    }

private:
    TempDatabase m_temp;
    std::optional<EngineServer> m_engines;
    std::unique_ptr<EngineServerProcess> m_child;
    std::unique_ptr<SettingsDatabase> m_db;
    std::unique_ptr<DomainList> m_domains;
    std::unique_ptr<ResultRows> m_rows;
    std::unique_ptr<DomainQuery> m_query;
    QStringList m_items;
    QString m_error;
};

void BM_QueryToCommittedRow(benchmark::State& state)
{
    const int answerMs = int(state.range(0));
    QueryBench bench;
    for (int engine = 0; engine < EngineCount; ++engine) {
        bench.engines().setDefault(engine, { 12345 + engine, answerMs });
    }
    std::vector<double> times;
    int n = 0;
    for (auto _ : state) {
        const double ms = bench.query(QStringLiteral("timed-%1.example").arg(n++));
        if (ms < 0) {
            state.SkipWithError(qPrintable(QStringLiteral("a query failed: %1").arg(bench.error())));
            break;
        }
        times.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        state.counters["median_ms"] = times[times.size() / 2];
        state.counters["p90_ms"] = times[std::min(times.size() - 1, times.size() * 9 / 10)];
        state.counters["max_ms"] = times.back();
    }
}

BENCHMARK(BM_QueryToCommittedRow)
    ->Arg(200) // the engines' answer time the target is set for
    ->Arg(0) // our own cost: the store, seven threads and connections, extraction, the commit
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);

void BM_ThreeHundredQueriesMemory(benchmark::State& state)
{
    for (auto _ : state) {
        // The engines answer at once from a child process: what they keep of each request would
        // otherwise count as ours.
        QueryBench bench(QueryBench::Engines::InChildProcess);
        if (!bench.error().isEmpty()) {
            state.SkipWithError(qPrintable(bench.error()));
            return;
        }
        qint64 at50 = -1;
        qint64 at300 = -1;
        for (int i = 1; i <= 300; ++i) {
            if (bench.query(QStringLiteral("memory-%1.example").arg(i)) < 0) {
                state.SkipWithError(qPrintable(QStringLiteral("query %1 failed: %2").arg(i).arg(bench.error())));
                return;
            }
            if (i == 50) {
                at50 = residentKiB();
            }
        }
        at300 = residentKiB();
        const double growth = double(at300 - at50) / 1024.0;
        state.counters["rss_at_50_MiB"] = double(at50) / 1024.0;
        state.counters["rss_at_300_MiB"] = double(at300) / 1024.0;
        state.counters["growth_MiB"] = growth;
        if (at50 < 0 || at300 < 0 || growth >= kMaxGrowthMiB) {
            state.SkipWithError("resident memory grew by 5 MiB or more from the 50th query to the 300th");
        }
    }
}

BENCHMARK(BM_ThreeHundredQueriesMemory)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    if (EngineServerProcess::isServeStart(argc, argv)) {
        return EngineServerProcess::serve(argc, argv, [](EngineServer& server, const QStringList&) {
            for (int engine = 0; engine < EngineCount; ++engine) {
                server.setDefault(engine, { 777 + engine, 0 });
            }
        });
    }
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
