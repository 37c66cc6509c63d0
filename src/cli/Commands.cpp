#include "cli/Command.h"
#include "cli/ExtractCommand.h"

namespace shoulu::cli {

std::vector<std::unique_ptr<Command>> allCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<ExtractCommand>());
    return commands;
}

} // namespace shoulu::cli
