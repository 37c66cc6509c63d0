#include "cli/PagesCommand.h"

#include "archive/ArchiveRetention.h"
#include "archive/PageArchive.h"
#include "cli/OptionValues.h"
#include "engines/EngineCatalogue.h"
#include "query/DomainText.h"

#include <QDateTime>

namespace shoulu::cli {

namespace {

const QString Prefix = QStringLiteral("shoulu-cli pages: ");

QString fetchLine(const ArchivedFetch& fetch)
{
    return QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\n")
        .arg(fetch.id)
        .arg(QDateTime::fromSecsSinceEpoch(fetch.fetchedAt).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            fetch.engine,
            !fetch.hasReading      ? QStringLiteral("no-reading")
                : fetch.incomplete ? QStringLiteral("incomplete")
                : fetch.trusted    ? QStringLiteral("figure")
                                   : QStringLiteral("no-figure"))
        .arg(fetch.httpStatus)
        .arg(fetch.size)
        .arg(fetch.storedSize)
        .arg(escapeControls(QString::fromUtf8(fetch.finalUrl)));
}

int list(const Arguments& parsed, const QString& engine, PageArchive& archive, Streams& io)
{
    FetchFilter filter;
    filter.domain = parsed.positional().value(0);
    filter.engine = engine;
    if (parsed.isSet(QStringLiteral("date"))) {
        auto day = parseDay(QStringLiteral("date"), parsed.value(QStringLiteral("date")));
        if (!day) {
            print(io.err, Prefix + escapeControls(day.error()) + QLatin1Char('\n'));
            return ExitUsage;
        }
        filter.day = *day;
    }
    auto fetches = archive.list(filter);
    if (!fetches) {
        print(io.err, Prefix + escapeControls(fetches.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    QString text = QStringLiteral("id\tfetched\tengine\treading\thttp\tsize\tstored\tfinal_url\n");
    for (const ArchivedFetch& fetch : *fetches) {
        text += fetchLine(fetch);
    }
    print(io.out, text);
    return ExitOk;
}

int show(const QString& idText, PageArchive& archive, Streams& io)
{
    bool ok = false;
    const qint64 id = idText.toLongLong(&ok);
    if (!ok) {
        print(io.err,
            Prefix + QStringLiteral("%1 is not a page id; 'pages DOMAIN' lists them\n").arg(quotedForMessage(idText)));
        return ExitUsage;
    }
    auto body = archive.body(id);
    if (!body) {
        print(io.err, Prefix + escapeControls(body.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    const auto size = static_cast<size_t>(body->size());
    if (std::fwrite(body->constData(), 1, size, io.out) != size || std::fflush(io.out) != 0) {
        print(io.err, Prefix + QStringLiteral("cannot write the page to standard output\n"));
        return ExitFailure;
    }
    return ExitOk;
}

int prune(const Arguments& parsed, PageArchive& archive, Streams& io)
{
    ArchiveRetention retention(archive);
    auto limits = retention.limits();
    if (!limits) {
        print(io.err, Prefix + escapeControls(limits.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    if (parsed.isSet(QStringLiteral("max-age"))) {
        bool ok = false;
        const QString text = parsed.value(QStringLiteral("max-age"));
        limits->maxAgeDays = text.toInt(&ok);
        if (!ok || limits->maxAgeDays < 0) {
            print(io.err,
                Prefix
                    + QStringLiteral("--max-age takes a whole number of days, not %1\n").arg(quotedForMessage(text)));
            return ExitUsage;
        }
    }
    if (parsed.isSet(QStringLiteral("max-size"))) {
        auto size = parseSize(QStringLiteral("max-size"), parsed.value(QStringLiteral("max-size")));
        if (!size) {
            print(io.err, Prefix + size.error() + QLatin1Char('\n'));
            return ExitUsage;
        }
        limits->maxBytes = *size;
    }
    const bool dryRun = parsed.isSet(QStringLiteral("dry-run"));
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    auto plan = retention.plan(now, *limits);
    if (!plan) {
        print(io.err, Prefix + escapeControls(plan.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    const QString limitsText
        = QStringLiteral("limits: %1 days, %2 bytes").arg(limits->maxAgeDays).arg(limits->maxBytes);
    if (dryRun) {
        print(io.out,
            QStringLiteral("would remove %1 archived pages (%2 distinct bodies), %3 of them fetched in the last 24 "
                           "hours; %4 bytes would be kept; %5; nothing removed (dry run)\n")
                .arg(plan->fetchIds.size())
                .arg(plan->bodies)
                .arg(plan->recentFetches)
                .arg(plan->storedBytes)
                .arg(limitsText));
        return ExitOk;
    }
    // Today's pages explain today's readings: they go only when the user says so.
    if (plan->recentFetches > 0 && !parsed.isSet(QStringLiteral("yes"))) {
        print(io.err,
            Prefix
                + QStringLiteral("these limits would remove %1 pages fetched in the last 24 hours (%2 in all); nothing "
                                 "was removed: add --yes to remove them, or see with --dry-run\n")
                      .arg(plan->recentFetches)
                      .arg(plan->fetchIds.size()));
        return ExitUsage;
    }
    const bool keep = parsed.isSet(QStringLiteral("keep-limits"));
    if (keep) {
        if (auto set = retention.setLimits(*limits); !set) {
            print(io.err, Prefix + escapeControls(set.error()) + QLatin1Char('\n'));
            return ExitFailure;
        }
    }
    auto pruned = retention.prune(now, *limits);
    if (!pruned) {
        print(io.err, Prefix + escapeControls(pruned.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    print(io.out,
        QStringLiteral("removed %1 archived pages (%2 distinct bodies); %3 bytes kept; %4%5\n")
            .arg(pruned->fetches)
            .arg(pruned->bodies)
            .arg(pruned->storedBytes)
            .arg(limitsText,
                keep ? QStringLiteral(" (kept)") : QStringLiteral(" (this time only; --keep-limits keeps them)")));
    return ExitOk;
}

} // namespace

QString PagesCommand::name() const
{
    return QStringLiteral("pages");
}

QString PagesCommand::synopsis() const
{
    return QStringLiteral("pages DOMAIN [--engine KEY] [--date YYYY-MM-DD] | pages show ID | pages prune "
                          "[--max-age DAYS] [--max-size SIZE] [--dry-run] [--yes] [--keep-limits]");
}

QString PagesCommand::description() const
{
    return QStringLiteral(
        "list a domain's archived result pages, write one to stdout byte for byte, or give up "
        "pages past the archive's limits (default 180 days, 2G; given limits apply once unless --keep-limits)");
}

QList<OptionSpec> PagesCommand::options() const
{
    return {
        { QStringLiteral("engine"), QStringLiteral("KEY"), QStringLiteral("only this engine's pages") },
        { QStringLiteral("date"), QStringLiteral("YYYY-MM-DD"), QStringLiteral("only pages fetched that day") },
        { QStringLiteral("max-age"), QStringLiteral("DAYS"), QStringLiteral("prune: keep pages this many days") },
        { QStringLiteral("max-size"), QStringLiteral("SIZE"),
            QStringLiteral("prune: keep this much in all (K, M, G)") },
        { QStringLiteral("dry-run"), QString(), QStringLiteral("prune: say what would go, remove nothing") },
        { QStringLiteral("yes"), QString(), QStringLiteral("prune: also remove pages of the last 24 hours") },
        { QStringLiteral("keep-limits"), QString(), QStringLiteral("prune: store the given limits for later prunes") },
    };
}

int PagesCommand::execute(const Arguments& args, const GlobalOptions& options, Streams& io)
{
    const Arguments* parsed = &args;
    const QString first = parsed->positional().value(0);
    const bool isShow = first == QLatin1String("show");
    const bool isPrune = first == QLatin1String("prune");
    const bool listOptions = parsed->isSet(QStringLiteral("engine")) || parsed->isSet(QStringLiteral("date"));
    const bool pruneOptions = parsed->isSet(QStringLiteral("max-age")) || parsed->isSet(QStringLiteral("max-size"));
    const bool pruneSwitches = parsed->isSet(QStringLiteral("dry-run")) || parsed->isSet(QStringLiteral("yes"))
        || parsed->isSet(QStringLiteral("keep-limits"));
    const qsizetype given = parsed->positional().size();
    if (given == 0) {
        return usageError(io, QStringLiteral("a domain is needed, or 'show ID' or 'prune'"));
    }
    if (isShow && given == 1) {
        return usageError(io, QStringLiteral("show needs a page ID; 'pages DOMAIN' lists them"));
    }
    if (given > (isShow ? 2 : 1)) {
        return usageError(io,
            QStringLiteral("unexpected argument %1").arg(quotedForMessage(parsed->positional().at(isShow ? 2 : 1))));
    }
    if (!isPrune && (pruneOptions || pruneSwitches)) {
        return usageError(
            io, QStringLiteral("--max-age, --max-size, --yes, --dry-run and --keep-limits go with 'prune'"));
    }
    if ((isShow || isPrune) && listOptions) {
        return usageError(io, QStringLiteral("--engine and --date go with 'pages DOMAIN'"));
    }
    // An engine no catalogue knows would list nothing and look like an empty archive.
    QString engine;
    if (parsed->isSet(QStringLiteral("engine"))) {
        const Result<EngineCatalogue> catalogue = EngineCatalogue::load(options.catalogueFile());
        if (!catalogue) {
            print(io.err, Prefix + escapeControls(catalogue.error()) + QLatin1Char('\n'));
            return ExitFailure;
        }
        const int found = catalogue->find(parsed->value(QStringLiteral("engine")));
        if (found < 0) {
            return usageError(io,
                QStringLiteral("unknown engine %1; 'shoulu-cli engines' lists them")
                    .arg(quotedForMessage(parsed->value(QStringLiteral("engine")))));
        }
        engine = catalogue->engine(found).key;
    }
    auto archive = PageArchive::open(options.archiveFile(), PageArchive::Mode::Existing);
    if (!archive) {
        print(io.err, Prefix + escapeControls(archive.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    if (isShow) {
        return show(parsed->positional().at(1), **archive, io);
    }
    return isPrune ? prune(*parsed, **archive, io) : list(*parsed, engine, **archive, io);
}

} // namespace shoulu::cli
