#include "cli/PagesCommand.h"

#include "archive/ArchiveRetention.h"
#include "archive/PageArchive.h"
#include "cli/OptionValues.h"
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
            !fetch.hasReading   ? QStringLiteral("no-reading")
                : fetch.trusted ? QStringLiteral("figure")
                                : QStringLiteral("no-figure"))
        .arg(fetch.httpStatus)
        .arg(fetch.size)
        .arg(fetch.storedSize)
        .arg(escapeControls(QString::fromUtf8(fetch.finalUrl)));
}

int list(const Arguments& parsed, PageArchive& archive, Streams& io)
{
    FetchFilter filter;
    filter.domain = parsed.positional().value(0);
    filter.engine = parsed.value(QStringLiteral("engine"));
    if (parsed.isSet(QStringLiteral("date"))) {
        auto day = parseDay(QStringLiteral("date"), parsed.value(QStringLiteral("date")));
        if (!day) {
            print(io.err, Prefix + day.error() + QLatin1Char('\n'));
            return ExitUsage;
        }
        filter.day = *day;
    }
    auto fetches = archive.list(filter);
    if (!fetches) {
        print(io.err, Prefix + fetches.error() + QLatin1Char('\n'));
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
        print(io.err, Prefix + QStringLiteral("'%1' is not a page id; 'pages DOMAIN' lists them\n").arg(idText));
        return ExitUsage;
    }
    auto body = archive.body(id);
    if (!body) {
        print(io.err, Prefix + body.error() + QLatin1Char('\n'));
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
        print(io.err, Prefix + limits.error() + QLatin1Char('\n'));
        return ExitFailure;
    }
    if (parsed.isSet(QStringLiteral("max-age"))) {
        bool ok = false;
        const QString text = parsed.value(QStringLiteral("max-age"));
        limits->maxAgeDays = text.toInt(&ok);
        if (!ok || limits->maxAgeDays < 0) {
            print(io.err, Prefix + QStringLiteral("--max-age takes a whole number of days, not '%1'\n").arg(text));
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
    if (auto set = retention.setLimits(*limits); !set) {
        print(io.err, Prefix + set.error() + QLatin1Char('\n'));
        return ExitFailure;
    }
    auto pruned = retention.prune(QDateTime::currentSecsSinceEpoch());
    if (!pruned) {
        print(io.err, Prefix + pruned.error() + QLatin1Char('\n'));
        return ExitFailure;
    }
    print(io.out,
        QStringLiteral("removed %1 archived pages (%2 distinct bodies); %3 bytes kept; limits: %4 days, %5 bytes\n")
            .arg(pruned->fetches)
            .arg(pruned->bodies)
            .arg(pruned->storedBytes)
            .arg(limits->maxAgeDays)
            .arg(limits->maxBytes));
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
                          "[--max-age DAYS] [--max-size SIZE]");
}

QString PagesCommand::description() const
{
    return QStringLiteral("list a domain's archived result pages, write one to stdout byte for byte, or give up "
                          "pages past the archive's limits (default 180 days, 2G; new limits are kept)");
}

QList<OptionSpec> PagesCommand::options() const
{
    return {
        { QStringLiteral("engine"), QStringLiteral("KEY"), QStringLiteral("only this engine's pages") },
        { QStringLiteral("date"), QStringLiteral("YYYY-MM-DD"), QStringLiteral("only pages fetched that day") },
        { QStringLiteral("max-age"), QStringLiteral("DAYS"), QStringLiteral("prune: keep pages this many days") },
        { QStringLiteral("max-size"), QStringLiteral("SIZE"),
            QStringLiteral("prune: keep this much in all (K, M, G)") },
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
    if (parsed->positional().size() != (isShow ? 2 : 1) || (!isPrune && pruneOptions)
        || ((isShow || isPrune) && listOptions)) {
        return usageError(io, QStringLiteral("unexpected arguments"));
    }
    auto archive = PageArchive::open(options.archiveFile(), PageArchive::Mode::Existing);
    if (!archive) {
        print(io.err, Prefix + archive.error() + QLatin1Char('\n'));
        return ExitFailure;
    }
    if (isShow) {
        return show(parsed->positional().at(1), **archive, io);
    }
    return isPrune ? prune(*parsed, **archive, io) : list(*parsed, **archive, io);
}

} // namespace shoulu::cli
