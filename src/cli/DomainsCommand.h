#pragma once

#include "cli/Command.h"

namespace shoulu::cli {

// "domains": prints the stored domain list, one per line; "domains add DOMAIN..." adds each
// unless listed; "domains remove DOMAIN..." removes them, all or none; "domains set [--allow-empty] [FILE]" replaces
// the list with the lines of FILE or stdin. Every domain is checked (checkDomain) before anything is stored.
class DomainsCommand : public Command
{
public:
    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
