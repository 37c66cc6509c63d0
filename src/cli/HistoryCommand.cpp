#include "cli/HistoryCommand.h"

#include "cli/RowFormatOption.h"
#include "query/DomainText.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"

namespace shoulu::cli {

namespace {

const QString Prefix = QStringLiteral("shoulu-cli history: ");

} // namespace

QString HistoryCommand::name() const
{
    return QStringLiteral("history");
}

QString HistoryCommand::synopsis() const
{
    return QStringLiteral("history [DOMAIN] [--format table|csv|json] [--status]");
}

QString HistoryCommand::description() const
{
    return QStringLiteral("print the newest counts of every listed domain, or the daily counts of DOMAIN");
}

QList<OptionSpec> HistoryCommand::options() const
{
    return rowFormatOptions();
}

int HistoryCommand::execute(const Arguments& args, const GlobalOptions& options, Streams& io)
{
    const auto format = requestedFormat(args);
    if (!format) {
        return usageError(
            io, QStringLiteral("unknown format %1").arg(quotedForMessage(args.value(QStringLiteral("format")))));
    }
    const bool withStatus = args.isSet(QStringLiteral("status"));
    if (args.positional().size() > 1) {
        return usageError(io, QStringLiteral("one domain at most"));
    }
    const QString domain = args.positional().value(0);

    auto db = SettingsDatabase::open(options.dbPath, Access::Read);
    if (!db) {
        print(io.err, Prefix + QStringLiteral("cannot open the database: %1\n").arg(escapeControls(db.error())));
        return ExitFailure;
    }
    ResultRows rows((*db)->database());
    // An empty text asks for the latest rows, as the history button does with an empty box.
    auto view = !domain.isEmpty() ? rows.dailyRows(domain) : rows.latestRows();
    if (!view) {
        print(io.err, Prefix + escapeControls(view.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    print(io.out, formatRows(*view, *format, withStatus));
    return ExitOk;
}

} // namespace shoulu::cli
