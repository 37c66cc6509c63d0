#include "cli/BatchCommand.h"

#include "archive/ArchiveWriter.h"
#include "cli/CooldownReport.h"
#include "cli/QueryRun.h"
#include "cli/RowFormatOption.h"
#include "query/BatchScheduler.h"
#include "query/DomainQuery.h"
#include "query/DomainText.h"
#include "store/DomainList.h"

#include <QTimer>

#include <algorithm>

namespace shoulu::cli {

namespace {

const QString Prefix = QStringLiteral("shoulu-cli batch: ");

} // namespace

QList<OptionSpec> BatchCommand::options() const
{
    return { { QStringLiteral("delay"), QStringLiteral("SECONDS"), QStringLiteral("pause between domains, 1-60") },
        rowFormatOptions().at(1) };
}

int BatchCommand::execute(const Arguments& args, const GlobalOptions& options, Streams& io)
{
    if (!args.positional().isEmpty()) {
        return usageError(
            io, QStringLiteral("unexpected argument %1").arg(quotedForMessage(args.positional().first())));
    }
    const bool withStatus = args.isSet(QStringLiteral("status"));
    int delay = DefaultDelay;
    if (args.isSet(QStringLiteral("delay"))) {
        const QString value = args.value(QStringLiteral("delay"));
        bool ok = false;
        delay = value.toInt(&ok);
        if (!ok || delay < MinDelay || delay > MaxDelay) {
            return usageError(io,
                QStringLiteral("--delay takes a whole number of seconds from %1 to %2, not %3")
                    .arg(MinDelay)
                    .arg(MaxDelay)
                    .arg(quotedForMessage(value)));
        }
    }

    auto run = QueryRun::open(options, io);
    if (!run) {
        return ExitFailure;
    }
    auto listed = run->domains().loadDomain();
    if (!listed) {
        print(io.err, Prefix + escapeControls(listed.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }

    BatchScheduler& batch = run->batch();
    QObject::connect(&run->batchTimer(), &QTimer::timeout, [&batch, delay] { batch.tick(delay); });
    bool first = true;
    std::vector<ResultRow> stored;
    const QStringList extras = extraEngines(run->query().catalogue());
    QObject::connect(&run->query(), &DomainQuery::rowCommitted, [&](const ResultRow& row) {
        // A printed row's pages are linked to it already: a kill after the print cannot leave
        // them marked as pages without a reading.
        run->archive().waitUntilIdle();
        // CSV, the header once: each row is printed the moment it is stored.
        print(io.out, (first ? csvHeader(withStatus, extras) : QString()) + csvLine(row, withStatus, extras));
        stored.push_back(row);
        first = false;
    });

    QObject::connect(&run->query(), &DomainQuery::readingsRetried,
        [&stored](const QString& name, const QList<EngineReading>& readings) { applyRetried(stored, name, readings); });

    switch (batch.start(listed.value(), delay)) {
    case BatchScheduler::StartResult::EmptyList:
        print(io.err,
            Prefix + QStringLiteral("the domain list is empty; add domains with 'domains add' or 'domains set'\n"));
        return ExitFailure;
    case BatchScheduler::StartResult::NoEngines:
        print(io.err, Prefix + QStringLiteral("every engine is switched off; see 'shoulu-cli engines'\n"));
        return ExitFailure;
    case BatchScheduler::StartResult::Busy:
        return ExitFailure;
    case BatchScheduler::StartResult::Started:
        break;
    }
    const bool allStored = run->waitUntilFinished();
    reportCooldowns(run->query(), io);
    run->archive().prune();
    if (!allStored || run->errorCount() > 0) {
        return ExitFailure;
    }
    const bool missing = reportMissingFigures(stored, io);
    // One domain that got through shows the network is there; the others' failures are the engines'.
    if (!stored.empty() && std::all_of(stored.begin(), stored.end(), noEngineReached)) {
        print(io.err,
            Prefix
                + QStringLiteral("no engine could be reached for any domain (is the network or the proxy "
                                 "down?); the rows were stored all the same\n"));
        return ExitFailure;
    }
    return missing ? ExitNoFigure : ExitOk;
}

} // namespace shoulu::cli
