#pragma once

#include "cli/DatabaseCommand.h"

namespace shoulu::cli {

// "history [DOMAIN] [--format table|csv|json]": the newest row of every listed domain, or
// one row per day of DOMAIN (taken as given, not trimmed).
class HistoryCommand : public DatabaseCommand
{
public:
    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;

protected:
    std::optional<int> prepare(const Arguments& args, const GlobalOptions& options, Streams& io) override;
    Access access(const Arguments& args) const override;
    int executeWithDatabase(
        SettingsDatabase& db, const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
