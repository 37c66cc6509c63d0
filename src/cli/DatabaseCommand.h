#pragma once

#include "cli/Command.h"
#include "store/FileAccess.h"

#include <optional>

namespace shoulu {
class SettingsDatabase;
} // namespace shoulu

namespace shoulu::cli {

// A command that works on the database. execute() first lets prepare() refuse bad arguments or
// read its input, so that neither touches the file; then opens the file as access() asks,
// saying why on stderr and giving ExitFailure when it does not open, and runs
// executeWithDatabase() on it. The file closes when that returns.
//     Access access(const Arguments&) const override { return Access::Read; }
//     int executeWithDatabase(SettingsDatabase& db, const Arguments& args, ...) override;
class DatabaseCommand : public Command
{
public:
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) final;

protected:
    // An exit code stops the command before the file is opened.
    virtual std::optional<int> prepare(const Arguments& args, const GlobalOptions& options, Streams& io);
    virtual Access access(const Arguments& args) const;
    virtual int executeWithDatabase(
        SettingsDatabase& db, const Arguments& args, const GlobalOptions& options, Streams& io)
        = 0;

    // "shoulu-cli NAME: ", which every message of the command starts with.
    QString prefix() const;
};

} // namespace shoulu::cli
