// A batch whose result pages are large (31 MiB each unless --page-mib says otherwise), driven as
// the program drives it, with every page handed to the page archive. Prints the peak resident
// memory, how many pages the archive took and how long it needed to catch up, and exits 1 when
// memory passed --limit-mb (600 unless told). --queue-mib sets what may wait for the archive
// (0: no bound). The engines run in a child process, so their memory is not counted.
//   build/bench/bench_large_pages [--domains 29] [--page-mib 31] [--queue-mib 128] [--limit-mb 600]
#include "archive/ArchiveWriter.h"
#include "archive/PageArchive.h"
#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "query/BatchScheduler.h"
#include "query/DomainQuery.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"
#include "support/EngineServer.h"
#include "support/EngineServerProcess.h"
#include "support/ResidentMemory.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>

namespace {

using namespace shoulu;
using namespace shoulu::test;

constexpr int kDelaySeconds = 1;

QString domainName(int i)
{
    return QStringLiteral("large-%1.example").arg(i, 3, 10, QLatin1Char('0'));
}

void setUpEngines(EngineServer& server, const QStringList& arguments)
{
    const qint64 padBytes = arguments.value(0).toLongLong() * 1024 * 1024;
    for (int engine = 0; engine < EngineCount; ++engine) {
        server.setDefault(engine, { 1000 + engine, 200, EngineServer::Failure::None, padBytes });
    }
}

int run(int domainCount, int pageMiB, qint64 queueMiB, qint64 limitMB)
{
    TempDatabase temp;
    auto opened = temp.ok() ? temp.open() : Result<std::unique_ptr<SettingsDatabase>>(Error { temp.error() });
    if (!opened) {
        std::fprintf(stderr, "no database: %s\n", qPrintable(opened.error()));
        return 2;
    }
    DomainList domainList((*opened)->database());
    ResultRows rows((*opened)->database());
    QStringList domains;
    for (int i = 0; i < domainCount; ++i) {
        domains << domainName(i);
    }
    if (auto listed = domainList.replaceAll(domains); !listed) {
        std::fprintf(stderr, "cannot list the domains: %s\n", qPrintable(listed.error()));
        return 2;
    }
    EngineServerProcess engines({ QString::number(pageMiB) });
    if (!engines.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(engines.error()));
        return 2;
    }
    const QString archivePath = PageArchive::fileBeside(temp.path());
    const qint64 queueBytes = queueMiB > 0 ? queueMiB * 1024 * 1024 : std::numeric_limits<qint64>::max() / 2;
    qint64 peakKiB = residentKiB();
    int archiveReports = 0;
    QElapsedTimer clock;
    double batchSeconds = 0;
    {
        ArchiveWriter writer(archivePath, nullptr, Language::English, queueBytes);
        QObject::connect(&writer, &ArchiveWriter::errorOccurred, [&](const QString& message) {
            ++archiveReports;
            std::printf("archive: %s\n", qPrintable(message));
        });
        DomainQuery query(domainList, rows, EngineCatalogue::builtIn());
        query.setPageSink(&writer);
        QTimer timer1;
        BatchScheduler batch(query, timer1);
        QObject::connect(&timer1, &QTimer::timeout, [&] { batch.tick(kDelaySeconds); });
        QTimer memory;
        QObject::connect(&memory, &QTimer::timeout, [&] { peakKiB = std::max(peakKiB, residentKiB()); });
        QObject::connect(&query, &DomainQuery::runFinished, [] { QCoreApplication::exit(0); });
        clock.start();
        memory.start(50);
        if (batch.start(domains, kDelaySeconds) != BatchScheduler::StartResult::Started) {
            std::fprintf(stderr, "the batch did not start\n");
            return 2;
        }
        QCoreApplication::exec();
        batchSeconds = double(clock.elapsed()) / 1000.0;
        // The archive catches up after the batch; memory is sampled meanwhile.
        std::atomic<bool> idle { false };
        std::thread waiter([&] {
            writer.waitUntilIdle();
            idle = true;
        });
        while (!idle) {
            peakKiB = std::max(peakKiB, residentKiB());
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        waiter.join();
        QCoreApplication::processEvents(); // the archive's reports
        peakKiB = std::max(peakKiB, residentKiB());
    }
    const double caughtUp = double(clock.elapsed()) / 1000.0;
    auto archive = PageArchive::open(archivePath, PageArchive::Mode::Existing);
    auto archived = archive ? (*archive)->list({}) : Result<std::vector<ArchivedFetch>>(Error { archive.error() });
    const qint64 pages = archived ? qint64(archived->size()) : -1;
    auto latest = rows.latestRows();
    std::printf("%d domains, %d MiB pages, archive queue %s: peak resident %.0f MB; rows %d; pages archived %lld of "
                "%d; batch %.1f s, archive done at %.1f s; %d archive report(s)\n",
        domainCount, pageMiB, queueMiB > 0 ? qPrintable(QStringLiteral("%1 MiB").arg(queueMiB)) : "unbounded",
        double(peakKiB) / 1024.0, latest ? int(latest->size()) : -1, static_cast<long long>(pages),
        domainCount * EngineCount, batchSeconds, caughtUp, archiveReports);
    const bool pass = double(peakKiB) / 1024.0 <= double(limitMB);
    std::printf("%s\n", pass ? "PASS" : "FAILED: memory above the limit");
    return pass ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (EngineServerProcess::isServeStart(argc, argv)) {
        return EngineServerProcess::serve(argc, argv, setUpEngines);
    }
    int domains = 29;
    int pageMiB = 31;
    qint64 queueMiB = ArchiveWriter::DefaultQueueBytes / (1024 * 1024);
    qint64 limitMB = 600;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--domains") == 0) {
            domains = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--page-mib") == 0) {
            pageMiB = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--queue-mib") == 0) {
            queueMiB = std::atoll(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--limit-mb") == 0) {
            limitMB = std::atoll(argv[i + 1]);
        } else {
            std::fprintf(stderr, "usage: %s [--domains N] [--page-mib N] [--queue-mib N] [--limit-mb N]\n", argv[0]);
            return 2;
        }
    }
    QCoreApplication app(argc, argv);
    return run(std::max(domains, 1), std::max(pageMiB, 1), queueMiB, limitMB);
}
