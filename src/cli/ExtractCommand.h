#pragma once

#include "cli/Command.h"

namespace shoulu::cli {

// "extract ENGINE [FILE]": prints the count that ENGINE's rule reads from a saved result
// page (FILE, or standard input), one integer per line.
class ExtractCommand : public Command
{
public:
    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    QList<OptionSpec> options() const override;
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
