#include "cli/QueryCommand.h"

#include "cli/QueryRun.h"
#include "cli/RowFormat.h"
#include "query/DomainQuery.h"
#include "query/DomainText.h"
#include "store/DomainList.h"

namespace shoulu::cli {

namespace {

const QString Prefix = QStringLiteral("shoulu-cli query: ");

} // namespace

int QueryCommand::execute(const QStringList& args, const GlobalOptions& options, Streams& io)
{
    const auto usage = [&](const QString& why) {
        print(io.err, Prefix + why + QStringLiteral("\nusage: shoulu-cli %1\n").arg(synopsis()));
        return ExitUsage;
    };
    std::optional<QString> domain;
    RowFormat format = RowFormat::Table;
    bool withStatus = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--status")) {
            withStatus = true;
        } else if (arg == QLatin1String("--format") || arg.startsWith(QLatin1String("--format="))) {
            QString name;
            if (arg.size() > 8) {
                name = arg.mid(9);
            } else if (i + 1 < args.size()) {
                name = args.at(++i);
            } else {
                return usage(QStringLiteral("--format needs a value"));
            }
            const auto parsed = rowFormatFromName(name);
            if (!parsed) {
                return usage(QStringLiteral("unknown format '%1'").arg(name));
            }
            format = *parsed;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usage(QStringLiteral("unknown option '%1'").arg(arg));
        } else if (domain) {
            return usage(QStringLiteral("one domain at a time"));
        } else {
            domain = arg;
        }
    }
    if (!domain || domain->trimmed().isEmpty()) {
        return usage(QStringLiteral("a domain is needed"));
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
        print(io.err, Prefix + listed.error() + QLatin1Char('\n'));
        return ExitFailure;
    }
    const DomainCheck checked = checkDomain(*domain, listed.value());
    if (!checked.ok()) {
        print(io.err,
            Prefix + QStringLiteral("%1 is not a domain: %2\n").arg(quotedForMessage(*domain), checked.message()));
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
    print(io.out, formatRows(stored, format, withStatus));
    if (!allStored || run->errorCount() > 0) {
        return ExitFailure;
    }
    return reportMissingFigures(stored, io) ? ExitNoFigure : ExitOk;
}

} // namespace shoulu::cli
