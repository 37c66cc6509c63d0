// Seven fetches of one domain query, all started at once against a local server that answers
// each after a fixed delay: the time from the first GetString to the seventh reply handed over.
#include "fetch/HTTPGet.h"
#include "support/LocalHttpServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

using namespace shoulu;

namespace {

void BM_SevenParallelFetches(benchmark::State& state)
{
    const int delayMs = int(state.range(0));
    const QByteArray page(40 * 1024, 'p');
    LocalHttpServer server([&](const HttpRequest&, HttpConnection& connection) {
        connection.sleepMs(delayMs);
        connection.respond(200, page);
    });
    std::vector<std::unique_ptr<Tmyhttpget>> gets;
    for (int engine = 0; engine < 7; ++engine) {
        gets.push_back(std::make_unique<Tmyhttpget>());
        gets.back()->EngineIndex = engine;
        gets.back()->URL = server.url("/s?wd=site:example.com");
    }

    for (auto _ : state) {
        int replies = 0;
        QEventLoop loop;
        for (auto& get : gets) {
            get->OnDoneString = [&](THTTPGet*, const QByteArray&) {
                if (++replies == 7) {
                    loop.quit();
                }
            };
            get->OnError = [&](THTTPGet*) { state.SkipWithError("a fetch failed"); };
        }
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);

        const auto start = std::chrono::steady_clock::now();
        for (auto& get : gets) {
            get->GetString();
        }
        loop.exec();
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (replies != 7) {
            state.SkipWithError("not every fetch replied within 10 s");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    }
}

BENCHMARK(BM_SevenParallelFetches)
    ->Arg(200) // the engines' answer time the query layer is sized for
    ->Arg(0) // the fetcher's own cost: threads, connections, hand-overs
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
