#pragma once

#include "store/DataFolder.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <vector>

namespace shoulu::cli {

// Exit codes shared by every command.
// ExitNoFigure: the rows were stored, but some engine gave no figure (blocked, failed or
// unreadable), so that an unattended run can tell "the engines blocked me" from "all is well".
enum ExitCode : int { ExitOk = 0, ExitFailure = 1, ExitUsage = 2, ExitNoFigure = 3 };

// What a command reads and writes; tests hand in buffers, main() the process streams.
struct Streams
{
    FILE* in = stdin;
    FILE* out = stdout;
    FILE* err = stderr;
    bool errIsTerminal = false; // progress output only goes to a terminal
};

// Options every command shares.
struct GlobalOptions
{
    QString dbPath = defaultDatabasePath(); // --db replaces it
    QString enginesPath; // the engine catalogue file; empty: engines.json beside the database
    QString pagesPath; // the page archive; empty: pages.dat beside the database
    QString catalogueFile() const;
    QString archiveFile() const;
};

// One sub-command: takes its own arguments (without the command name) and returns an exit code.
class Command
{
public:
    virtual ~Command() = default;
    virtual QString name() const = 0;
    virtual QString synopsis() const = 0; // "extract ENGINE [FILE]"
    virtual QString description() const = 0; // one line for --help
    virtual int execute(const QStringList& args, const GlobalOptions& options, Streams& io) = 0;
};

std::vector<std::unique_ptr<Command>> allCommands();

// The whole command line, argv[0] excluded: global options, then a command and its arguments.
int runCommandLine(const QStringList& args, Streams& io);

// Writes UTF-8 text to a stream.
void print(FILE* stream, const QString& text);

} // namespace shoulu::cli
