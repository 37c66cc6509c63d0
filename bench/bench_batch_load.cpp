// The load run: a batch over N domains (500 unless --domains says otherwise) with the delay at
// 1 second, against local engines that each take 1 to 3 seconds to answer, driven as the
// program drives it (DomainQuery and BatchScheduler on a QTimer, the latest-rows view read at
// every refresh). It checks that every row lands with its own figures, that resident memory
// stays flat and that the event loop stays responsive, prints the figures and exits 1 when a
// check fails. scripts/load-run builds and runs it.
#include "fetch/THTTPGetThread.h"
#include "query/BatchScheduler.h"
#include "query/DomainQuery.h"
#include "query/EngineTable.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "support/EngineServer.h"
#include "support/EngineServerProcess.h"
#include "support/ResidentMemory.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace shoulu;
using namespace shoulu::test;

namespace {

constexpr int kDefaultDomains = 500;
constexpr int kDelaySeconds = 1;
constexpr int kSlowestMs = 3000;
constexpr int kFastestMs = 1000;
constexpr int kMemorySampleMs = 10 * 1000;
constexpr int kProbeMs = 10;
constexpr double kMaxGrowthMiB = 5.0;
constexpr double kMaxLatenessMs = 50.0;

QString domainName(int i)
{
    return QStringLiteral("load-%1.example").arg(i, 4, 10, QLatin1Char('0'));
}

// Figures that differ per domain and engine and need thousands separators on the page.
Count figureOf(int domain, int engine)
{
    return Count(domain) * 10007 + Count(engine) * 1301 + 1;
}

// 1 to 3 seconds, spread over domains and engines.
int answerDelayMs(int domain, int engine)
{
    return kFastestMs + int((quint32(domain) * 2654435761u + quint32(engine) * 40503u) % (kSlowestMs - kFastestMs + 1));
}

double mib(qint64 kib)
{
    return double(kib) / 1024.0;
}

// This thread's CPU time and time spent runnable but waiting for a CPU, in nanoseconds: a late
// timeout with little of either was blocked (a disk sync, a page fault); one with a long wait
// lost its CPU to other processes.
struct SchedStat
{
    qint64 cpu = 0;
    qint64 waiting = 0;
};

SchedStat schedStat()
{
    QFile file(QStringLiteral("/proc/thread-self/schedstat"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QList<QByteArray> fields = file.readAll().trimmed().split(' ');
    return { fields.value(0).toLongLong(), fields.value(1).toLongLong() };
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ') : QByteArray("?");
}

// How late each timeout of a 10 ms timer fires, in milliseconds.
class LatenessProbe
{
public:
    struct Worst
    {
        double lateMs = 0;
        double cpuMs = 0;
        double waitingMs = 0;
        double atSeconds = 0;
        bool commitInside = false; // a row's commit ended within the stall
    };

    LatenessProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kProbeMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double interval = double(m_clock.nsecsElapsed()) / 1e6;
            m_clock.restart();
            const SchedStat now = schedStat();
            const double late = std::max(0.0, interval - kProbeMs);
            m_lateness.push_back(late);
            const bool commitInside = m_commits != m_commitsBefore;
            m_commitsBefore = m_commits;
            if (late >= kMaxLatenessMs && commitInside) {
                ++m_lateAtCommits;
            }
            if (late > m_worst.lateMs) {
                m_worst = { late, double(now.cpu - m_last.cpu) / 1e6, double(now.waiting - m_last.waiting) / 1e6,
                    double(m_since.elapsed()) / 1000.0, commitInside };
            }
            m_last = now;
        });
    }
    void start()
    {
        m_since.start();
        m_clock.start();
        m_last = schedStat();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    void noteCommit() { ++m_commits; }
    size_t lateAtCommits() const { return m_lateAtCommits; }
    const Worst& worst() const { return m_worst; }
    double percentile(double p) const
    {
        if (m_lateness.empty()) {
            return 0;
        }
        std::vector<double> sorted = m_lateness;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
    }
    size_t lateBy(double ms) const
    {
        return size_t(std::count_if(m_lateness.begin(), m_lateness.end(), [ms](double late) { return late >= ms; }));
    }
    size_t samples() const { return m_lateness.size(); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    QElapsedTimer m_since;
    SchedStat m_last;
    Worst m_worst;
    std::vector<double> m_lateness;
    int m_commits = 0;
    int m_commitsBefore = 0;
    size_t m_lateAtCommits = 0;
};

int run(int domainCount)
{
    TempDatabase temp;
    if (!temp.ok()) {
        std::fprintf(stderr, "no database: %s\n", qPrintable(temp.error()));
        return 2;
    }
    auto opened = temp.open();
    if (!opened) {
        std::fprintf(stderr, "cannot open the database: %s\n", qPrintable(opened.error()));
        return 2;
    }
    std::unique_ptr<SettingsDatabase> db = std::move(opened.value());
    DomainList domainList(db->database());
    ResultRows rows(db->database());

    QStringList domains;
    for (int i = 0; i < domainCount; ++i) {
        domains << domainName(i);
    }
    // In a child process: the server keeps every request, which would count as our memory.
    EngineServerProcess engines({ QString::number(domainCount) });
    if (!engines.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(engines.error()));
        return 2;
    }
    if (auto listed = domainList.replaceAll(domains); !listed) {
        std::fprintf(stderr, "cannot list the domains: %s\n", qPrintable(listed.error()));
        return 2;
    }

    DomainQuery query(domainList, rows, buildEngineUrls());
    QTimer timer1;
    BatchScheduler batch(query, timer1);
    QObject::connect(&timer1, &QTimer::timeout, [&] { batch.tick(kDelaySeconds); });

    LatenessProbe probe;
    QStringList errors;
    int committed = 0;
    int refreshFailures = 0;
    const int memoryMark = std::min(50, std::max(1, domainCount / 2));
    qint64 rssAtMark = -1;
    std::vector<qint64> rssSamples;
    QObject::connect(&query, &DomainQuery::errorOccurred, [&](const QString& e) { errors << e; });
    QObject::connect(&query, &DomainQuery::rowCommitted, [&] {
        probe.noteCommit();
        if (++committed == memoryMark) {
            rssAtMark = residentKiB();
        }
    });
    // What the history list reads at every refresh.
    QObject::connect(&query, &DomainQuery::historyRefreshRequested, [&] {
        if (!rows.latestRows()) {
            ++refreshFailures;
        }
    });
    QTimer memory;
    QObject::connect(&memory, &QTimer::timeout, [&] { rssSamples.push_back(residentKiB()); });

    std::printf("load run: %d domains, delay %d s, engines answering in %d-%d ms\n", domainCount, kDelaySeconds,
        kFastestMs, kSlowestMs);
    std::fflush(stdout);
    const QByteArray loadAtStart = loadAverage();
    QElapsedTimer clock;
    clock.start();
    rssSamples.push_back(residentKiB());
    memory.start(kMemorySampleMs);
    probe.start();
    if (batch.start(domains, kDelaySeconds) != BatchScheduler::StartResult::Started) {
        std::fprintf(stderr, "the batch did not start\n");
        return 2;
    }
    // Each domain takes delay + 1 seconds to start, and the last one its slowest engine.
    const qint64 allowedMs = qint64(domainCount) * (kDelaySeconds + 1) * 1000 + kSlowestMs + 30000;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(3); });
    QObject::connect(&query, &DomainQuery::runFinished, [] { QCoreApplication::exit(0); });
    watchdog.start(int(allowedMs));
    const int ended = QCoreApplication::exec();
    probe.stop();
    memory.stop();
    const double seconds = double(clock.elapsed()) / 1000.0;
    const qint64 rssAtEnd = residentKiB();
    rssSamples.push_back(rssAtEnd);

    bool pass = true;
    const auto fail = [&pass](const char* what) {
        std::printf("FAIL: %s\n", what);
        pass = false;
    };
    if (ended != 0) {
        fail("the batch did not end in time");
    }

    // Every domain's newest row, with that domain's own figures.
    int right = 0;
    auto latest = rows.latestRows();
    if (!latest) {
        std::printf("latest rows: %s\n", qPrintable(latest.error()));
    } else {
        for (const ResultRow& row : *latest) {
            const int i = domains.indexOf(row.domain);
            bool figuresRight = i >= 0;
            for (int engine = 0; figuresRight && engine < EngineCount; ++engine) {
                figuresRight = row.counts[size_t(engine)] == figureOf(i, engine);
            }
            right += figuresRight ? 1 : 0;
        }
    }
    const int stored = latest ? int(latest->size()) : 0;
    std::printf("rows: %d of %d in the latest-rows view, %d with their own figures; %d commits reported\n", stored,
        domainCount, right, committed);
    if (stored != domainCount || right != domainCount) {
        fail("not every domain has its row with its own figures");
    }
    if (!errors.isEmpty() || refreshFailures > 0) {
        std::printf("errors: %lld reported, %d refreshes failed; first: %s\n", qlonglong(errors.size()),
            refreshFailures, errors.isEmpty() ? "-" : qPrintable(errors.first()));
        fail("errors were reported");
    }

    const double growth = mib(rssAtEnd - rssAtMark);
    std::printf("RSS: after %d domains %.1f MiB, at the end %.1f MiB, growth %.2f MiB (limit %.0f MiB)\n", memoryMark,
        mib(rssAtMark), mib(rssAtEnd), growth, kMaxGrowthMiB);
    std::printf("RSS every %d s (MiB):", kMemorySampleMs / 1000);
    for (const qint64 sample : rssSamples) {
        std::printf(" %.1f", mib(sample));
    }
    std::printf("\n");
    if (rssAtMark < 0 || rssAtEnd < 0 || growth >= kMaxGrowthMiB) {
        fail("resident memory grew");
    }

    const LatenessProbe::Worst& worst = probe.worst();
    std::printf("event loop: a %d ms timer fired late by at most %.1f ms, p99 %.1f ms, p50 %.2f ms; %zu of %zu "
                "timeouts late by %.0f ms or more, %zu of them across a row's commit\n",
        kProbeMs, worst.lateMs, probe.percentile(0.99), probe.percentile(0.5), probe.lateBy(kMaxLatenessMs),
        probe.samples(), kMaxLatenessMs, probe.lateAtCommits());
    std::printf("worst stall at %.1f s%s: %.1f ms on the CPU, %.1f ms waiting for one, the rest blocked; load "
                "average %s at the start, %s at the end\n",
        worst.atSeconds, worst.commitInside ? ", across a commit" : "", worst.cpuMs, worst.waitingMs,
        loadAtStart.constData(), loadAverage().constData());
    if (worst.lateMs >= kMaxLatenessMs) {
        fail("the event loop stalled");
    }
    std::printf("duration: %.1f s; fetch threads still running: %d\n", seconds, THTTPGetThread::runningCount());
    std::printf("%s\n", pass ? "PASS" : "FAILED");
    return pass ? 0 : 1;
}

// The child's engines: each domain's own figures, each engine's own delay.
void setUpEngines(EngineServer& server, const QStringList& arguments)
{
    const int domainCount = arguments.value(0).toInt();
    for (int i = 0; i < domainCount; ++i) {
        for (int engine = 0; engine < EngineCount; ++engine) {
            server.setAnswer(engine, domainName(i), { figureOf(i, engine), answerDelayMs(i, engine) });
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (EngineServerProcess::isServeStart(argc, argv)) {
        return EngineServerProcess::serve(argc, argv, setUpEngines);
    }
    int domainCount = kDefaultDomains;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--domains") == 0 && i + 1 < argc) {
            domainCount = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--domains N]\n", argv[0]);
            return 2;
        }
    }
    if (domainCount < 1) {
        std::fprintf(stderr, "--domains needs a number of at least 1\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    return run(domainCount);
}
