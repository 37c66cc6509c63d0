#include "cli/HistoryCommand.h"

#include "cli/RowFormat.h"
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

int HistoryCommand::execute(const QStringList& args, const GlobalOptions& options, Streams& io)
{
    const auto usage = [&](const QString& why) {
        print(io.err, Prefix + why + QStringLiteral("usage: shoulu-cli %1\n").arg(synopsis()));
        return ExitUsage;
    };
    std::optional<QString> domain;
    RowFormat format = RowFormat::Table;
    bool withStatus = false;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        QString formatName;
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg == QLatin1String("--status")) {
            withStatus = true;
            continue;
        }
        if (!optionsEnded && arg == QLatin1String("--format")) {
            if (i + 1 >= args.size()) {
                return usage(QStringLiteral("--format needs a value\n"));
            }
            formatName = args.at(++i);
        } else if (!optionsEnded && arg.startsWith(QLatin1String("--format="))) {
            formatName = arg.mid(9);
        } else if (!optionsEnded && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return usage(QStringLiteral("unknown option '%1'\n").arg(arg));
        } else {
            if (domain) {
                return usage(QStringLiteral("one domain at most\n"));
            }
            domain = arg;
            continue;
        }
        const auto parsed = rowFormatFromName(formatName);
        if (!parsed) {
            return usage(QStringLiteral("unknown format '%1'\n").arg(formatName));
        }
        format = *parsed;
    }

    auto db = SettingsDatabase::open(options.dbPath, Access::Read);
    if (!db) {
        print(io.err, Prefix + QStringLiteral("cannot open the database: %1\n").arg(db.error()));
        return ExitFailure;
    }
    ResultRows rows((*db)->database());
    // An empty text asks for the latest rows, as the history button does with an empty box.
    auto view = domain && !domain->isEmpty() ? rows.dailyRows(*domain) : rows.latestRows();
    if (!view) {
        print(io.err, Prefix + view.error() + QLatin1Char('\n'));
        return ExitFailure;
    }
    print(io.out, formatRows(*view, format, withStatus));
    return ExitOk;
}

} // namespace shoulu::cli
