#include "BenchDatabase.h"
#include "chart/TrendChart.h"
#include "query/AppContext.h"
#include "support/HistoryGenerator.h"
#include "ui/HistoryList.h"
#include "ui/MessageBox.h"
#include "ui/Project1.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineSeries>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

using namespace shoulu;
using namespace shoulu::bench;

// Notes when the window is painted for the first time.
class FirstPaint : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            painted = true;
        }
        return QObject::eventFilter(watched, event);
    }
};

// Open with the key check, load the 1,000-domain box, build the window, show it, first paint.
void BM_StartUpToFirstPaint(benchmark::State& state)
{
    BenchDatabase* database = prepared(state);
    if (database == nullptr) {
        return;
    }
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const auto context = openAppContext(database->path());
        if (context == nullptr) {
            state.SkipWithError("the file did not open");
            return;
        }
        TForm1 form(*context, QByteArray());
        FirstPaint paint;
        form.installEventFilter(&paint);
        form.show();
        while (!paint.painted && clock.elapsed() < 10000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        if (!paint.painted) {
            state.SkipWithError("the window did not paint");
            return;
        }
    }
}

template <typename Step> void withForm(benchmark::State& state, Step step)
{
    BenchDatabase* database = prepared(state);
    if (database == nullptr) {
        return;
    }
    const auto context = openAppContext(database->path());
    if (context == nullptr) {
        state.SkipWithError("the file did not open");
        return;
    }
    TForm1 form(*context, QByteArray());
    form.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        if (!step(form)) {
            state.SkipWithError("unexpected view");
            return;
        }
        QCoreApplication::processEvents();
    }
}

void BM_LoadShouluLatestRows(benchmark::State& state)
{
    withForm(state,
        [](TForm1& form) { return form.LoadShoulu(QString()).ok() && form.historyList()->rowCount() == Domains; });
}

void BM_LoadShouluDailyViewWithChart(benchmark::State& state)
{
    const QString domain = test::HistoryGenerator::domainName(500);
    withForm(state, [&domain](TForm1& form) {
        return form.LoadShoulu(domain).ok() && form.historyList()->rowCount() == Days
            && form.trendChart()->series(0)->count() == 30;
    });
}

} // namespace

BENCHMARK(BM_StartUpToFirstPaint)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(5)
    ->DisplayAggregatesOnly(true);
BENCHMARK(BM_LoadShouluLatestRows)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);
BENCHMARK(BM_LoadShouluDailyViewWithChart)->Unit(benchmark::kMillisecond)->Repetitions(5)->DisplayAggregatesOnly(true);

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    MessageBox::setAutoAnswer(QMessageBox::Ok);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
