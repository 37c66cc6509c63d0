#include "cli/QueryCommand.h"

#include "cli/QueryRun.h"
#include "cli/RowFormatOption.h"
#include "query/DomainQuery.h"
#include "query/DomainText.h"
#include "store/DomainList.h"

namespace shoulu::cli {

namespace {

const QString Prefix = QStringLiteral("shoulu-cli query: ");

} // namespace

QList<OptionSpec> QueryCommand::options() const
{
    return rowFormatOptions();
}

int QueryCommand::execute(const Arguments& args, const GlobalOptions& options, Streams& io)
{
    const auto format = requestedFormat(args);
    if (!format) {
        return usageError(
            io, QStringLiteral("unknown format %1").arg(quotedForMessage(args.value(QStringLiteral("format")))));
    }
    const bool withStatus = args.isSet(QStringLiteral("status"));
    if (args.positional().size() > 1) {
        return usageError(io, QStringLiteral("one domain at a time"));
    }
    const QString domain = args.positional().value(0);
    if (domain.trimmed().isEmpty()) {
        return usageError(io, QStringLiteral("a domain is needed"));
    }

    auto run = QueryRun::open(options, io);
    if (!run) {
        return ExitFailure;
    }
    std::vector<ResultRow> stored;
    QObject::connect(
        &run->query(), &DomainQuery::rowCommitted, [&stored](const ResultRow& row) { stored.push_back(row); });
    auto listed = run->domains().loadDomain();
    if (!listed) {
        print(io.err, Prefix + escapeControls(listed.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    const DomainCheck checked = checkDomain(domain, listed.value());
    if (!checked.ok()) {
        print(io.err,
            Prefix + QStringLiteral("%1 is not a domain: %2\n").arg(quotedForMessage(domain), checked.message()));
        return ExitFailure;
    }
    if (!run->query().startSingle(checked.domain, listed.value()).started) {
        print(io.err, Prefix + QStringLiteral("could not start\n"));
        return ExitFailure;
    }
    const bool allStored = run->waitUntilFinished();
    if (stored.empty()) {
        return ExitFailure; // the commit failed; the cause is on stderr already
    }
    print(io.out, formatRows(stored, *format, withStatus));
    if (!allStored || run->errorCount() > 0) {
        if (allStored) {
            print(io.err,
                Prefix
                    + QStringLiteral("the figures of %1 are stored; what failed is said above\n")
                          .arg(escapeControls(stored.front().domain)));
        }
        return ExitFailure;
    }
    const bool missing = reportMissingFigures(stored, io);
    if (noEngineReached(stored.front())) {
        print(io.err,
            Prefix
                + QStringLiteral("no engine could be reached (is the network or the proxy down?); the row "
                                 "was stored all the same\n"));
        return ExitFailure;
    }
    return missing ? ExitNoFigure : ExitOk;
}

} // namespace shoulu::cli
