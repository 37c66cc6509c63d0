#include "cli/InitCommand.h"

#include "query/DomainText.h"
#include "store/SettingsDatabase.h"

#include <QFileInfo>

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
    // Said plainly: the store would call a missing folder "not writable".
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.exists()) {
        print(io.err,
            prefix
                + QStringLiteral("the folder %1 does not exist; create it first\n")
                      .arg(quotedForMessage(folder.filePath())));
        return ExitFailure;
    }
    if (!folder.isDir()) {
        print(io.err, prefix + QStringLiteral("%1 is not a folder\n").arg(quotedForMessage(folder.filePath())));
        return ExitFailure;
    }
    if (auto created = SettingsDatabase::create(path); !created) {
        print(io.err, prefix + escapeControls(created.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    print(io.out, QStringLiteral("created %1\n").arg(escapeControls(path)));
    return ExitOk;
}

} // namespace shoulu::cli
