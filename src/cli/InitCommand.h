#pragma once

#include "cli/Command.h"

namespace shoulu::cli {

// "init [PATH]": makes a prepared, empty database at PATH (default: the --db path); never
// overwrites an existing file.
class InitCommand : public Command
{
public:
    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
