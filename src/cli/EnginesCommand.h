#pragma once

#include "cli/Command.h"

namespace shoulu::cli {

// "engines [check FILE | enable KEY | disable KEY]": lists the engine catalogue, checks a
// catalogue file, or switches an engine on or off in the user's catalogue file.
class EnginesCommand : public Command
{
public:
    QString name() const override;
    QString synopsis() const override;
    QString description() const override;
    int execute(const Arguments& args, const GlobalOptions& options, Streams& io) override;
};

} // namespace shoulu::cli
