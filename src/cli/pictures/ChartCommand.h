#pragma once

#include "cli/Command.h"

namespace shoulu::cli {

// "chart DOMAIN -o FILE [--width W] [--height H] [--engines KEY,...]": the window's 30-day
// trend chart of DOMAIN as PNG, or SVG when FILE ends in .svg; every engine unless --engines.
class ChartCommand : public Command
{
public:
    static constexpr int DefaultWidth = 800;
    static constexpr int DefaultHeight = 400;
    static constexpr int MinSide = 200;
    static constexpr int MaxSide = 8000;

    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
