#pragma once

#include "archive/Rereader.h"
#include "cli/DatabaseCommand.h"

namespace shoulu::cli {

// "reread [DOMAIN] [--since YYYY-MM-DD] [--dry-run]": the archived pages read again with the
// current catalogue; one line per reading that changes and a summary.
class RereadCommand : public DatabaseCommand
{
public:
    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;

protected:
    std::optional<int> prepare(const Arguments& args, const GlobalOptions& options, Streams& io) override;
    int executeWithDatabase(
        SettingsDatabase& db, const Arguments& args, const GlobalOptions& options, Streams& io) override;

private:
    RereadOptions m_reread;
};

} // namespace shoulu::cli
