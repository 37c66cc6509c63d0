#include "cli/HistoryCommand.h"

#include "cli/RowFormatOption.h"
#include "query/DomainText.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"

namespace shoulu::cli {

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

std::optional<int> HistoryCommand::prepare(const Arguments& args, const GlobalOptions&, Streams& io)
{
    if (!requestedFormat(args)) {
        return usageError(
            io, QStringLiteral("unknown format %1").arg(quotedForMessage(args.value(QStringLiteral("format")))));
    }
    if (args.positional().size() > 1) {
        return usageError(io, QStringLiteral("one domain at most"));
    }
    return std::nullopt;
}

Access HistoryCommand::access(const Arguments&) const
{
    return Access::Read;
}

int HistoryCommand::executeWithDatabase(SettingsDatabase& db, const Arguments& args, const GlobalOptions&, Streams& io)
{
    const auto format = requestedFormat(args);
    const bool withStatus = args.isSet(QStringLiteral("status"));
    const QString domain = args.positional().value(0);
    ResultRows rows(db.database());
    // An empty text asks for the latest rows, as the history button does with an empty box.
    auto view = !domain.isEmpty() ? rows.dailyRows(domain) : rows.latestRows();
    if (!view) {
        print(io.err, prefix() + escapeControls(view.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    print(io.out, formatRows(*view, *format, withStatus));
    return ExitOk;
}

} // namespace shoulu::cli
