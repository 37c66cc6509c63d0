#include "cli/BatchCommand.h"
#include "cli/Command.h"
#include "cli/DomainsCommand.h"
#include "cli/EnginesCommand.h"
#include "cli/ExtractCommand.h"
#include "cli/HistoryCommand.h"
#include "cli/InitCommand.h"
#include "cli/PagesCommand.h"
#include "cli/QueryCommand.h"
#include "cli/RereadCommand.h"
#ifdef SHOULU_CLI_PICTURES
#include "cli/pictures/ChartCommand.h"
#include "cli/pictures/ReportCommand.h"
#endif

namespace shoulu::cli {

std::vector<std::unique_ptr<Command>> allCommands()
{
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(std::make_unique<InitCommand>());
    commands.push_back(std::make_unique<DomainsCommand>());
    commands.push_back(std::make_unique<HistoryCommand>());
    commands.push_back(std::make_unique<QueryCommand>());
    commands.push_back(std::make_unique<BatchCommand>());
    commands.push_back(std::make_unique<ExtractCommand>());
    commands.push_back(std::make_unique<EnginesCommand>());
#ifdef SHOULU_CLI_PICTURES
    commands.push_back(std::make_unique<ChartCommand>());
    commands.push_back(std::make_unique<ReportCommand>());
#endif
    commands.push_back(std::make_unique<PagesCommand>());
    commands.push_back(std::make_unique<RereadCommand>());
    return commands;
}

} // namespace shoulu::cli
