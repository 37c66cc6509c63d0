// The load run: a batch over N domains (500 unless --domains says otherwise) with the delay at
// 1 second, against local engines that each take 1 to 3 seconds to answer, driven as the
// program drives it (DomainQuery and BatchScheduler on a QTimer, the latest-rows view read at
// every refresh). It checks that every row lands with its own figures, that resident memory
// stays flat and that the event loop stays responsive, prints the figures and exits 1 when a
// check fails. scripts/load-run builds and runs it. With --busy-disk another thread keeps the
// disk busy meanwhile (large writes, each followed by a sync), as a backup or a download would.
#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "fetch/THTTPGetThread.h"
#include "query/BatchScheduler.h"
#include "query/DomainQuery.h"
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
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
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
// One frame at 60 Hz: a stall across a row's commit longer than this shows as a hitch.
constexpr double kMaxStoreStallMs = 16.0;
constexpr qint64 kDiskBlock = 1 << 20;
constexpr int kBlocksPerSync = 8;
constexpr int kBlocksPerFile = 256;

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

// How late each timeout of a 10 ms timer fires, kept as a histogram of 0.1 ms steps, so that
// the probe's own memory stays the same however long the run.
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
        QByteArray kernelStack; // where the thread slept while overdue, when it could be read
    };

    LatenessProbe()
        : m_buckets(kBuckets + 1, 0)
        , m_mainThread(pid_t(::syscall(SYS_gettid)))
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kProbeMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { onTimeout(); });
    }

    ~LatenessProbe() { stop(); }

    void start()
    {
        m_since.start();
        m_last = schedStat();
        m_lastBeat = m_since.nsecsElapsed();
        m_timer.start();
        m_watching = true;
        m_watcher = std::thread([this] { watch(); });
    }
    void stop()
    {
        m_timer.stop();
        m_watching = false;
        if (m_watcher.joinable()) {
            m_watcher.join();
        }
    }
    void noteCommit() { ++m_commits; }
    size_t lateAtCommits() const { return m_lateAtCommits; }
    double worstAtCommit() const { return m_worstAtCommit; }
    double worstBlockedAtCommit() const { return m_worstBlockedAtCommit; }
    size_t storeStalls() const { return m_storeStalls; }
    const Worst& worst() const { return m_worst; }
    quint64 samples() const { return m_samples; }
    quint64 lateBy(double ms) const
    {
        quint64 count = 0;
        for (size_t i = std::min(kBuckets, size_t(ms * 10)); i <= kBuckets; ++i) {
            count += m_buckets[i];
        }
        return count;
    }
    double percentile(double p) const
    {
        const auto wanted = quint64(p * double(m_samples));
        quint64 seen = 0;
        for (size_t i = 0; i <= kBuckets; ++i) {
            seen += m_buckets[i];
            if (seen > wanted) {
                return double(i) / 10.0;
            }
        }
        return m_worst.lateMs;
    }

private:
    static constexpr size_t kBuckets = 10000; // 0.1 ms steps up to a second; the last holds the rest
    static constexpr qint64 kOverdueNs = 30 * 1000 * 1000;

    void onTimeout()
    {
        const qint64 beat = m_since.nsecsElapsed();
        const qint64 previousBeat = m_lastBeat;
        const double late = std::max(0.0, double(beat - previousBeat) / 1e6 - kProbeMs);
        m_lastBeat = beat;
        const SchedStat now = schedStat();
        ++m_samples;
        ++m_buckets[std::min(kBuckets, size_t(late * 10))];
        const bool commitInside = m_commits != m_commitsBefore;
        m_commitsBefore = m_commits;
        if (late >= kMaxLatenessMs && commitInside) {
            ++m_lateAtCommits;
        }
        if (commitInside) {
            // The store can only block the thread (a sync, a lock); time on a CPU or waiting for
            // one (other processes on a loaded machine) is not its doing.
            const double blocked
                = late - double(now.cpu - m_last.cpu) / 1e6 - double(now.waiting - m_last.waiting) / 1e6;
            m_worstAtCommit = std::max(m_worstAtCommit, late);
            m_worstBlockedAtCommit = std::max(m_worstBlockedAtCommit, blocked);
            m_storeStalls += blocked > kMaxStoreStallMs ? 1 : 0;
        }
        if (late > m_worst.lateMs) {
            std::lock_guard lock(m_stackMutex);
            m_worst = { late, double(now.cpu - m_last.cpu) / 1e6, double(now.waiting - m_last.waiting) / 1e6,
                double(beat) / 1e9, commitInside, m_stackBeat == previousBeat ? m_stack : QByteArray() };
        }
        m_last = now;
    }

    // Another thread: once the main thread is overdue, reads its kernel stack (a disk sync, a
    // page fault, a wait on a lock or for a thread to end show there).
    void watch()
    {
        const QString path = QStringLiteral("/proc/self/task/%1/stack").arg(m_mainThread);
        qint64 capturedFor = -1;
        while (m_watching) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const qint64 beat = m_lastBeat;
            if (beat != capturedFor && m_since.nsecsElapsed() - beat > kProbeMs * 1000000LL + kOverdueNs) {
                capturedFor = beat;
                QFile file(path);
                QByteArray stack = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable\n");
                if (stack.isEmpty()) {
                    stack = "none: the thread was on a CPU or waiting for one\n";
                }
                std::lock_guard lock(m_stackMutex);
                m_stack = stack;
                m_stackBeat = beat;
            }
        }
    }

    QTimer m_timer;
    QElapsedTimer m_since;
    std::atomic<qint64> m_lastBeat { 0 };
    SchedStat m_last;
    Worst m_worst;
    std::vector<quint64> m_buckets;
    quint64 m_samples = 0;
    int m_commits = 0;
    int m_commitsBefore = 0;
    size_t m_lateAtCommits = 0;
    double m_worstAtCommit = 0;
    double m_worstBlockedAtCommit = 0;
    size_t m_storeStalls = 0;
    const pid_t m_mainThread;
    std::thread m_watcher;
    std::atomic<bool> m_watching { false };
    std::mutex m_stackMutex;
    QByteArray m_stack; // read while the interval that began at m_stackBeat was overdue
    qint64 m_stackBeat = -1;
};

// Keeps the disk busy from a thread of its own: writes in large blocks into a file beside the
// database, synced every few blocks, started over when the file is large.
class DiskLoad
{
public:
    explicit DiskLoad(const QString& path)
        : m_path(QFile::encodeName(path))
    { }
    ~DiskLoad() { stop(); }

    void start()
    {
        m_running = true;
        m_thread = std::thread([this] { write(); });
    }
    void stop()
    {
        m_running = false;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        ::unlink(m_path.constData());
    }
    qint64 syncs() const { return m_syncs; }

private:
    void write()
    {
        const std::vector<char> block(kDiskBlock, 'x');
        const int fd = ::open(m_path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0) {
            return;
        }
        for (int written = 0; m_running; ++written) {
            if (written == kBlocksPerFile) {
                written = 0;
                (void)::ftruncate(fd, 0);
                ::lseek(fd, 0, SEEK_SET);
            }
            if (::write(fd, block.data(), block.size()) < 0) {
                break;
            }
            if (written % kBlocksPerSync == kBlocksPerSync - 1) {
                ::fsync(fd);
                ++m_syncs;
            }
        }
        ::close(fd);
    }

    QByteArray m_path;
    std::thread m_thread;
    std::atomic<bool> m_running { false };
    std::atomic<qint64> m_syncs { 0 };
};

int run(int domainCount, bool busyDisk)
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

    DomainQuery query(domainList, rows, EngineCatalogue::builtIn());
    QTimer timer1;
    BatchScheduler batch(query, timer1);
    QObject::connect(&timer1, &QTimer::timeout, [&] { batch.tick(kDelaySeconds); });

    LatenessProbe probe;
    DiskLoad disk(temp.filePath(QStringLiteral("disk-load.bin")));
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
    if (busyDisk) {
        disk.start();
    }
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
    disk.stop();
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
    std::printf("event loop: a %d ms timer fired late by at most %.1f ms, p99 %.1f ms, p50 %.1f ms; %llu of %llu "
                "timeouts late by %.0f ms or more, %zu of them across a row's commit\n",
        kProbeMs, worst.lateMs, probe.percentile(0.99), probe.percentile(0.5),
        static_cast<unsigned long long>(probe.lateBy(kMaxLatenessMs)), static_cast<unsigned long long>(probe.samples()),
        kMaxLatenessMs, probe.lateAtCommits());
    std::printf("worst stall at %.1f s%s: %.1f ms on the CPU, %.1f ms waiting for one, the rest blocked; load "
                "average %s at the start, %s at the end\n",
        worst.atSeconds, worst.commitInside ? ", across a commit" : "", worst.cpuMs, worst.waitingMs,
        loadAtStart.constData(), loadAverage().constData());
    if (!worst.kernelStack.isEmpty()) {
        std::printf("where it slept:\n%s", worst.kernelStack.constData());
    }
    if (worst.lateMs >= kMaxLatenessMs) {
        fail("the event loop stalled");
    }
    std::printf("store: across a row's commit the timer fired late by at most %.1f ms, of which at most %.1f ms "
                "blocked (neither on a CPU nor waiting for one); %zu blocked over %.0f ms; disk load %s (%lld syncs)\n",
        probe.worstAtCommit(), probe.worstBlockedAtCommit(), probe.storeStalls(), kMaxStoreStallMs,
        busyDisk ? "on" : "off", static_cast<long long>(disk.syncs()));
    if (probe.storeStalls() > 0) {
        fail("the store stalled the event loop");
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
    bool busyDisk = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--domains") == 0 && i + 1 < argc) {
            domainCount = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--busy-disk") == 0) {
            busyDisk = true;
        } else {
            std::fprintf(stderr, "usage: %s [--domains N] [--busy-disk]\n", argv[0]);
            return 2;
        }
    }
    if (domainCount < 1) {
        std::fprintf(stderr, "--domains needs a number of at least 1\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    return run(domainCount, busyDisk);
}
