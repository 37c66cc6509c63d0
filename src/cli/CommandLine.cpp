#include "archive/PageArchive.h"
#include "cli/Command.h"
#include "engines/EngineCatalogue.h"

#include <QByteArray>

namespace shoulu::cli {

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

QString GlobalOptions::catalogueFile() const
{
    return enginesPath.isEmpty() ? EngineCatalogue::userFileBeside(dbPath) : enginesPath;
}

QString GlobalOptions::archiveFile() const
{
    return pagesPath.isEmpty() ? PageArchive::fileBeside(dbPath) : pagesPath;
}

namespace {

void printHelp(FILE* stream)
{
    QString text
        = QStringLiteral("shoulu-cli: search-engine index counts of domains, from the command line.\n"
                         "\n"
                         "Usage: shoulu-cli [--db PATH] [--engines PATH] [--pages PATH] COMMAND [ARGS...]\n"
                         "\n"
                         "Options:\n"
                         "  --db PATH       database file (default: $SHOULU_DB, else ./setting.dat)\n"
                         "  --engines PATH  engine catalogue file (default: engines.json beside the database)\n"
                         "  --pages PATH    page archive file (default: pages.dat beside the database)\n"
                         "  --help          show this text\n"
                         "\n"
                         "Commands:\n");
    for (const auto& command : allCommands()) {
        text += QStringLiteral("  %1\n      %2\n").arg(command->synopsis(), command->description());
    }
    print(stream, text);
}

} // namespace

int runCommandLine(const QStringList& args, Streams& io)
{
    GlobalOptions options;
    int i = 0;
    for (; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            printHelp(io.out);
            return ExitOk;
        }
        if (arg == QLatin1String("--db")) {
            if (i + 1 >= args.size()) {
                print(io.err, QStringLiteral("shoulu-cli: --db needs a file path\n"));
                return ExitUsage;
            }
            options.dbPath = args.at(++i);
            continue;
        }
        if (arg.startsWith(QLatin1String("--db="))) {
            options.dbPath = arg.mid(5);
            continue;
        }
        if (arg == QLatin1String("--engines")) {
            if (i + 1 >= args.size()) {
                print(io.err, QStringLiteral("shoulu-cli: --engines needs a file path\n"));
                return ExitUsage;
            }
            options.enginesPath = args.at(++i);
            continue;
        }
        if (arg.startsWith(QLatin1String("--engines="))) {
            options.enginesPath = arg.mid(10);
            continue;
        }
        if (arg == QLatin1String("--pages") || arg.startsWith(QLatin1String("--pages="))) {
            if (arg.size() == 7 && i + 1 >= args.size()) {
                print(io.err, QStringLiteral("shoulu-cli: --pages needs a file path\n"));
                return ExitUsage;
            }
            options.pagesPath = arg.size() == 7 ? args.at(++i) : arg.mid(8);
            continue;
        }
        break;
    }
    if (i >= args.size()) {
        print(io.err, QStringLiteral("shoulu-cli: no command given; try 'shoulu-cli --help'\n"));
        return ExitUsage;
    }
    const QString name = args.at(i);
    for (auto& command : allCommands()) {
        if (command->name() == name) {
            return command->execute(args.mid(i + 1), options, io);
        }
    }
    print(io.err, QStringLiteral("shoulu-cli: unknown command '%1'; try 'shoulu-cli --help'\n").arg(name));
    return ExitUsage;
}

} // namespace shoulu::cli
