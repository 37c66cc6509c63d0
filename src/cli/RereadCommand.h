#pragma once

#include "cli/Command.h"

namespace shoulu::cli {

// "reread [DOMAIN] [--since YYYY-MM-DD] [--dry-run]": the archived pages read again with the
// current catalogue; one line per reading that changes and a summary.
class RereadCommand : public Command
{
public:
    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
