// A batch against engines that block like the real ones: each of the local engines answers
// at most 4 requests a minute and then blocks (a redirect to its verification page, or HTTP
// 403/429) until it has heard nothing for a minute. The batch runs twice over the same
// domains at delay 1, once leaving a blocking engine alone (the program's cool-down) and once
// asking it regardless, and prints how many readings each run got blocked.
//
// --scale K runs everything K times faster: the batch's tick, the engines' minute and the
// cool-downs alike, so the runs keep their proportions and a 100-domain batch takes 200/K
// seconds. The fetches themselves are not slowed down, so K stays small enough (at most 20)
// for a tick to outlast a local fetch.
#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "query/BatchScheduler.h"
#include "query/DomainQuery.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "support/EngineServer.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace shoulu;
using namespace shoulu::test;

namespace {

constexpr int kDefaultDomains = 100;
constexpr int kDelaySeconds = 1;
constexpr int kMaxScale = 20;
constexpr RateLimiter::Limit kEngineLimit { 4, 60 * 1000, 60 * 1000 };

struct Figures
{
    int counted = 0;
    int blocked = 0; // fetched and blocked: requests the engines refused
    int skipped = 0; // left blocked, "冷却中", never asked again
    int other = 0;
    int serverBlocks = 0;
    int retried = 0;
    double seconds = 0;
    QString summary;
};

std::optional<Figures> runBatch(int domainCount, int scale, bool cooldown)
{
    TempDatabase temp;
    auto opened = temp.ok() ? temp.open() : Result<std::unique_ptr<SettingsDatabase>>(Error { temp.error() });
    if (!opened) {
        std::fprintf(stderr, "no database: %s\n", qPrintable(opened.error()));
        return std::nullopt;
    }
    DomainList domainList(opened.value()->database());
    ResultRows rows(opened.value()->database());
    QStringList domains;
    for (int i = 0; i < domainCount; ++i) {
        domains << QStringLiteral("cool-%1.example").arg(i, 4, 10, QLatin1Char('0'));
    }
    if (!domainList.replaceAll(domains)) {
        return std::nullopt;
    }
    EngineServer engines;
    engines.setRateLimit({ kEngineLimit.requests, kEngineLimit.windowMs / scale, kEngineLimit.quietMs / scale });
    for (int i = 0; i < EngineCount; ++i) {
        engines.setDefault(i, { 1000 + i });
    }

    DomainQuery query(domainList, rows, EngineCatalogue::builtIn());
    query.setProxy(ProxySetting::via(engines.proxyUrl()));
    // Without the cool-down an engine never rests: a pause of nothing.
    query.cooldown().policy().setPauses(cooldown
            ? EngineCooldown::Pauses { EngineCooldown::FirstPauseMs / scale, EngineCooldown::LongestPauseMs / scale }
            : EngineCooldown::Pauses { 0, 0 });
    QStringList errors;
    QObject::connect(&query, &DomainQuery::errorOccurred, [&](const QString& e) { errors << e; });
    Figures figures;
    QObject::connect(&query, &DomainQuery::statusChanged, [&](const QString& s) { figures.summary = s; });

    // The scheduler's timer only says whether the batch is on; a faster one brings its ticks.
    QTimer timer1;
    BatchScheduler batch(query, timer1);
    QTimer pace;
    pace.setInterval(BatchScheduler::TickMs / scale);
    QObject::connect(&pace, &QTimer::timeout, [&] {
        if (timer1.isActive()) {
            batch.tick(kDelaySeconds);
        }
    });
    QObject::connect(&query, &DomainQuery::runFinished, [] { QCoreApplication::exit(0); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(3); });

    QElapsedTimer clock;
    clock.start();
    if (batch.start(domains, kDelaySeconds) != BatchScheduler::StartResult::Started) {
        std::fprintf(stderr, "the batch did not start\n");
        return std::nullopt;
    }
    pace.start();
    // Every domain and every retry at the batch's pace, and the longest fetch time-out besides.
    watchdog.start(int(qint64(domainCount) * 2 * (kDelaySeconds + 1) * 1000 / scale + 120 * 1000));
    if (QCoreApplication::exec() != 0) {
        std::fprintf(stderr, "the batch did not end in time\n");
        return std::nullopt;
    }
    figures.seconds = double(clock.elapsed()) / 1000.0;
    if (!errors.isEmpty()) {
        std::fprintf(stderr, "%lld errors; first: %s\n", qlonglong(errors.size()), qPrintable(errors.first()));
        return std::nullopt;
    }

    auto latest = rows.latestRows();
    if (!latest || int(latest->size()) != domainCount) {
        std::fprintf(stderr, "not every domain has its row\n");
        return std::nullopt;
    }
    for (const ResultRow& row : *latest) {
        for (const EngineReading& each : row.readings) {
            const Reading& r = each.reading;
            if (isCoolingReading(r)) {
                ++figures.skipped;
            } else if (r.status == ReadingStatus::Blocked) {
                ++figures.blocked;
            } else if (r.status == ReadingStatus::Counted) {
                ++figures.counted;
            } else {
                ++figures.other;
            }
        }
    }
    for (int i = 0; i < EngineCount; ++i) {
        figures.serverBlocks += engines.blockedCount(i);
    }
    for (const auto& [engine, tally] : query.cooldown().tally()) {
        figures.retried += tally.retried;
    }
    return figures;
}

void print(const char* title, const Figures& f)
{
    std::printf("%-18s counted %4d, blocked by an engine %4d, skipped (冷却中) %4d, other %d; retried %d; requests "
                "refused by the engines %d; %.1f s\n",
        title, f.counted, f.blocked, f.skipped, f.other, f.retried, f.serverBlocks, f.seconds);
    std::printf("%-18s %s\n", "", qPrintable(f.summary));
}

} // namespace

int main(int argc, char** argv)
{
    int domainCount = kDefaultDomains;
    int scale = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--domains") == 0 && i + 1 < argc) {
            domainCount = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc) {
            scale = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--domains N] [--scale K]\n", argv[0]);
            return 2;
        }
    }
    if (domainCount < 1 || scale < 1 || scale > kMaxScale) {
        std::fprintf(stderr, "--domains takes 1 or more, --scale 1 to %d\n", kMaxScale);
        return 2;
    }
    QCoreApplication app(argc, argv);
    std::printf("%d domains, delay %d s, engines allowing %d requests a minute then blocking until quiet for a "
                "minute; time %dx compressed\n",
        domainCount, kDelaySeconds, kEngineLimit.requests, scale);
    std::fflush(stdout);
    const std::optional<Figures> with = runBatch(domainCount, scale, true);
    if (with) {
        print("with cool-down:", *with);
        std::fflush(stdout);
    }
    const std::optional<Figures> without = runBatch(domainCount, scale, false);
    if (without) {
        print("without cool-down:", *without);
    }
    return with && without ? 0 : 1;
}
