#pragma once

#include "cli/Arguments.h"
#include "engines/EngineCatalogue.h"
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

// Options every command shares, given before or after the command's name.
struct GlobalOptions
{
    QString dbPath = defaultDatabasePath(); // --db replaces it
    QString enginesPath; // the engine catalogue file; empty: engines.json beside the database
    QString pagesPath; // the page archive; empty: pages.dat beside the database
    QString catalogueFile() const;
    // Named when --engines was given: that file must then be there.
    CatalogueFile catalogueKind() const { return enginesPath.isEmpty() ? CatalogueFile::Beside : CatalogueFile::Named; }

    // The options above as the command line declares them, and their values once read.
    static QList<OptionSpec> specs();
    static GlobalOptions from(const Arguments& args);
    QString archiveFile() const;
};

// One sub-command. It declares the options it takes (options()); the command line reads them,
// the global ones and --help wherever they stand, and hands execute() the result:
//     QList<OptionSpec> options() const override { return { { "format", "FORMAT", "table, csv or json" } }; }
//     int execute(const Arguments& args, ...) override { args.value("format"); args.positional(); }
class Command
{
public:
    virtual ~Command() = default;
    virtual QString name() const = 0;
    virtual QString synopsis() const = 0; // "extract ENGINE [FILE]"
    virtual QString description() const = 0; // one line for --help
    virtual QList<OptionSpec> options() const { return {}; }
    virtual int execute(const Arguments& args, const GlobalOptions& options, Streams& io) = 0;

    // Says why on stderr, with the synopsis, and gives ExitUsage.
    int usageError(Streams& io, const QString& why) const;
};

std::vector<std::unique_ptr<Command>> allCommands();

// The whole command line, argv[0] excluded: global options, then a command and its arguments.
int runCommandLine(const QStringList& args, Streams& io);

// Writes UTF-8 text to a stream.
void print(FILE* stream, const QString& text);

} // namespace shoulu::cli
