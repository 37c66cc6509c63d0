#pragma once

#include "cli/Command.h"

namespace shoulu::cli {

// query DOMAIN [--format table|csv]: one domain query, stored and printed.
class QueryCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("query"); }
    QString synopsis() const override { return QStringLiteral("query DOMAIN [--format table|csv|json] [--status]"); }
    QString description() const override
    {
        return QStringLiteral(
            "ask the seven engines about DOMAIN (adding it to the list), then store and print the row");
    }
    QList<OptionSpec> options() const override;
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
