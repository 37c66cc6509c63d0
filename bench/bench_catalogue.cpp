#include "engines/EngineCatalogue.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// A user file of `engines` entries, each with a count and a none rule of its own, as one built
// by a script would look; every tenth entry changes a built-in engine instead of adding one.
QByteArray catalogueText(int engines)
{
    QByteArray text = "{\n  \"engines\": [\n";
    for (int i = 0; i < engines; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray key = i % 10 == 0 ? QByteArray(i % 20 == 0 ? "bing" : "sogou") : "engine-" + n;
        text += "    {\n      \"key\": \"" + key + "\",\n      \"caption\": \"引擎" + n
            + "\",\n      \"url\": \"https://search" + n + ".example/s?q=site%3A\",\n"
            + "      \"count\": [\"找到约\\\\s*(?<n>[0-9,]+)\\\\s*条结果" + n + "\"],\n"
            + "      \"none\": [\"没有找到与" + n + "\"]\n    }" + (i + 1 < engines ? ",\n" : "\n");
    }
    return text + "  ]\n}\n";
}

void BM_LoadCatalogue(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("engines.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(catalogueText(int(state.range(0)))) < 0) {
        state.SkipWithError("cannot write the catalogue");
        return;
    }
    file.close();
    for (auto _ : state) {
        const auto catalogue = shoulu::EngineCatalogue::load(path);
        if (!catalogue) {
            state.SkipWithError(qPrintable(catalogue.error()));
            return;
        }
        benchmark::DoNotOptimize(catalogue->size());
    }
    state.SetComplexityN(state.range(0));
}

} // namespace

// Loading and merging are linear: time per engine stays flat from 1,000 to 100,000 engines.
BENCHMARK(BM_LoadCatalogue)
    ->RangeMultiplier(4)
    ->Range(1000, 64000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

BENCHMARK_MAIN();
