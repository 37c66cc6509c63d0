#include "cli/DatabaseCommand.h"

#include "query/DomainText.h"
#include "store/SettingsDatabase.h"

namespace shoulu::cli {

int DatabaseCommand::execute(const Arguments& args, const GlobalOptions& options, Streams& io)
{
    if (const std::optional<int> stopped = prepare(args, options, io)) {
        return *stopped;
    }
    auto db = SettingsDatabase::open(options.dbPath, access(args));
    if (!db) {
        print(io.err, prefix() + QStringLiteral("cannot open the database: %1\n").arg(escapeControls(db.error())));
        return ExitFailure;
    }
    return executeWithDatabase(**db, args, options, io);
}

std::optional<int> DatabaseCommand::prepare(const Arguments&, const GlobalOptions&, Streams&)
{
    return std::nullopt;
}

Access DatabaseCommand::access(const Arguments&) const
{
    return Access::Write;
}

QString DatabaseCommand::prefix() const
{
    return QStringLiteral("shoulu-cli %1: ").arg(name());
}

} // namespace shoulu::cli
