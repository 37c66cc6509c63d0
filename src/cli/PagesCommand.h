#pragma once

#include "cli/Command.h"

namespace shoulu::cli {

// "pages DOMAIN [--engine KEY] [--date YYYY-MM-DD]": the archived pages of a domain;
// "pages show ID": one body, byte for byte; "pages prune [--max-age DAYS] [--max-size SIZE]":
// retention now, with new limits kept for later runs.
class PagesCommand : public Command
{
public:
    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
