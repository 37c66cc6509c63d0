#pragma once

#include "cli/Command.h"

namespace shoulu::cli {

// "history [DOMAIN] [--format table|csv|json]": the newest row of every listed domain, or
// one row per day of DOMAIN (taken as given, not trimmed).
class HistoryCommand : public Command
{
public:
    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
