#include "cli/RereadCommand.h"

#include "archive/PageArchive.h"
#include "cli/OptionValues.h"
#include "query/DomainText.h"
#include "store/SettingsDatabase.h"

namespace shoulu::cli {

namespace {

const QString Prefix = QStringLiteral("shoulu-cli reread: ");

QString readingText(ReadingStatus status, Count count)
{
    return statusWord(status) + QLatin1Char(' ') + QString::number(count);
}

} // namespace

QString RereadCommand::name() const
{
    return QStringLiteral("reread");
}

QString RereadCommand::synopsis() const
{
    return QStringLiteral("reread [DOMAIN] [--since YYYY-MM-DD] [--dry-run]");
}

QString RereadCommand::description() const
{
    return QStringLiteral("read the archived pages again with the current engine catalogue and store the readings "
                          "that change: one line each (domain, date, engine, old -> new), then a summary");
}

QList<OptionSpec> RereadCommand::options() const
{
    return {
        { QStringLiteral("since"), QStringLiteral("YYYY-MM-DD"), QStringLiteral("only pages fetched since that day") },
        { QStringLiteral("dry-run"), QString(), QStringLiteral("print what would change, change nothing") },
    };
}

std::optional<int> RereadCommand::prepare(const Arguments& args, const GlobalOptions& options, Streams& io)
{
    const Arguments* parsed = &args;
    if (parsed->positional().size() > 1) {
        return usageError(io, QStringLiteral("one domain at most"));
    }
    RereadOptions& reread = m_reread;
    reread.domain = parsed->positional().value(0);
    reread.dryRun = parsed->isSet(QStringLiteral("dry-run"));
    if (parsed->isSet(QStringLiteral("since"))) {
        auto day = parseDay(QStringLiteral("since"), parsed->value(QStringLiteral("since")));
        if (!day) {
            print(io.err, Prefix + escapeControls(day.error()) + QLatin1Char('\n'));
            return ExitUsage;
        }
        reread.since = day->startOfDay().toSecsSinceEpoch();
    }
    // The reader falls back on the built-in rules for a file that is not there; one the user
    // named must be.
    if (options.catalogueKind() == CatalogueFile::Named) {
        if (auto named = EngineCatalogue::load(options.catalogueFile(), CatalogueFile::Named); !named) {
            print(io.err, Prefix + named.error() + QLatin1Char('\n'));
            return ExitFailure;
        }
    }
    return std::nullopt;
}

int RereadCommand::executeWithDatabase(
    SettingsDatabase& db, const Arguments&, const GlobalOptions& options, Streams& io)
{
    const RereadOptions& reread = m_reread;
    auto archive = PageArchive::open(options.archiveFile(), PageArchive::Mode::Existing);
    if (!archive) {
        print(io.err, Prefix + escapeControls(archive.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    Rereader rereader(db.database(), **archive, options.catalogueFile());
    auto summary = rereader.run(reread, [&io](const RereadChange& change) {
        print(io.out,
            QStringLiteral("%1\t%2\t%3\t%4 -> %5\n")
                .arg(escapeControls(change.domain), change.date.toString(Qt::ISODate), change.engine,
                    readingText(change.oldStatus, change.oldCount), readingText(change.newStatus, change.newCount)));
    });
    if (!summary) {
        print(io.err, Prefix + escapeControls(summary.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    print(io.out,
        QStringLiteral("%1 archived pages of %2 domains read again, %3 of them with a stored reading: %4 readings "
                       "changed%5\n")
            .arg(summary->pages)
            .arg(summary->domains)
            .arg(summary->linked)
            .arg(summary->changed)
            .arg(reread.dryRun ? QStringLiteral(" (dry run: nothing stored)") : QString()));
    if (summary->damaged > 0) {
        print(io.err,
            Prefix
                + QStringLiteral("%1 archived pages could not be read back; the first: %2\n")
                      .arg(summary->damaged)
                      .arg(summary->firstDamage));
        return ExitFailure;
    }
    return ExitOk;
}

} // namespace shoulu::cli
