#pragma once

#include "cli/Command.h"

namespace shoulu::cli {

// batch [--delay SECONDS]: every listed domain, delay + 1 seconds apart, each row printed as CSV.
class BatchCommand : public Command
{
public:
    static constexpr int DefaultDelay = 2;
    static constexpr int MinDelay = 1;
    static constexpr int MaxDelay = 60;

    QString name() const override { return QStringLiteral("batch"); }
    QString synopsis() const override { return QStringLiteral("batch [--delay SECONDS] [--status]"); }
    QString description() const override
    {
        return QStringLiteral("query every listed domain, one every SECONDS+1 seconds (1-60, default 2), "
                              "printing each row as CSV as it is stored");
    }
    QList<OptionSpec> options() const override;
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
