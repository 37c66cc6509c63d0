#include "cli/InitCommand.h"

#include "store/SettingsDatabase.h"

namespace shoulu::cli {

QString InitCommand::name() const
{
    return QStringLiteral("init");
}

QString InitCommand::synopsis() const
{
    return QStringLiteral("init [PATH]");
}

QString InitCommand::description() const
{
    return QStringLiteral("create an empty database at PATH (default: the --db path); never overwrites a file");
}

int InitCommand::execute(const QStringList& args, const GlobalOptions& options, Streams& io)
{
    const QString prefix = QStringLiteral("shoulu-cli init: ");
    if (args.size() > 1 || (!args.isEmpty() && args.at(0).startsWith(QLatin1Char('-')))) {
        print(io.err, prefix + QStringLiteral("usage: shoulu-cli %1\n").arg(synopsis()));
        return ExitUsage;
    }
    const QString path = args.isEmpty() ? options.dbPath : args.at(0);
    if (auto created = SettingsDatabase::create(path); !created) {
        print(io.err, prefix + created.error() + QLatin1Char('\n'));
        return ExitFailure;
    }
    print(io.out, QStringLiteral("created %1\n").arg(path));
    return ExitOk;
}

} // namespace shoulu::cli
