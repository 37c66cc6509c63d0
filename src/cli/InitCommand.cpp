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

int InitCommand::execute(const Arguments& args, const GlobalOptions& options, Streams& io)
{
    const QString prefix = QStringLiteral("shoulu-cli init: ");
    if (args.positional().size() > 1) {
        return usageError(io, QStringLiteral("one path at most"));
    }
    const QString path = args.positional().value(0, options.dbPath);
    if (auto created = SettingsDatabase::create(path); !created) {
        print(io.err, prefix + created.error() + QLatin1Char('\n'));
        return ExitFailure;
    }
    print(io.out, QStringLiteral("created %1\n").arg(path));
    return ExitOk;
}

} // namespace shoulu::cli
