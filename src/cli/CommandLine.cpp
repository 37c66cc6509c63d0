#include "archive/PageArchive.h"
#include "cli/Command.h"
#include "engines/EngineCatalogue.h"
#include "query/DomainText.h"
#include "store/CommitRetry.h"
#include "store/SettingsDatabase.h"

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

QList<OptionSpec> GlobalOptions::specs()
{
    return {
        { QStringLiteral("db"), QStringLiteral("PATH"),
            QStringLiteral("database file (default: $SHOULU_DB, else ./setting.dat)") },
        { QStringLiteral("engines"), QStringLiteral("PATH"),
            QStringLiteral("engine catalogue file (default: engines.json beside the database)") },
        { QStringLiteral("pages"), QStringLiteral("PATH"),
            QStringLiteral("page archive file (default: pages.dat beside the database)") },
    };
}

GlobalOptions GlobalOptions::from(const Arguments& args)
{
    GlobalOptions options;
    options.dbPath = args.value(QStringLiteral("db"), options.dbPath);
    options.enginesPath = args.value(QStringLiteral("engines"));
    options.pagesPath = args.value(QStringLiteral("pages"));
    return options;
}

int Command::usageError(Streams& io, const QString& why) const
{
    print(io.err, QStringLiteral("shoulu-cli %1: %2\nusage: shoulu-cli %3\n").arg(name(), why, synopsis()));
    return ExitUsage;
}

namespace {

const OptionSpec HelpOption { QStringLiteral("help"), QString(), QStringLiteral("show this text") };
const OptionSpec VersionOption { QStringLiteral("version"), QString(), QStringLiteral("show the version") };

QString optionLines(const QList<OptionSpec>& specs)
{
    QString text;
    for (const OptionSpec& declared : specs) {
        QString form = declared.takesValue() ? QStringLiteral("--%1 %2").arg(declared.name, declared.valueName)
                                             : QStringLiteral("--%1").arg(declared.name);
        if (!declared.shortName.isEmpty()) {
            form.prepend(QStringLiteral("-%1, ").arg(declared.shortName));
        }
        text += QStringLiteral("  %1  %2\n").arg(form.leftJustified(16), declared.description);
    }
    return text;
}

QString generalHelp()
{
    QString text = QStringLiteral("shoulu-cli: search-engine index counts of domains, from the command line.\n"
                                  "\n"
                                  "Usage: shoulu-cli [OPTIONS] COMMAND [ARGS...]\n"
                                  "       shoulu-cli help [COMMAND]\n"
                                  "\n"
                                  "Options (before or after the command):\n")
        + optionLines(GlobalOptions::specs() << HelpOption << VersionOption) + QStringLiteral("\nCommands:\n");
    for (const auto& command : allCommands()) {
        text += QStringLiteral("  %1\n      %2\n").arg(command->synopsis(), command->description());
    }
    return text;
}

QString commandHelp(const Command& command)
{
    return QStringLiteral("Usage: shoulu-cli %1\n\n%2\n\nOptions:\n").arg(command.synopsis(), command.description())
        + optionLines(command.options() + GlobalOptions::specs() << HelpOption);
}

std::unique_ptr<Command> findCommand(const QString& name)
{
    for (auto& command : allCommands()) {
        if (command->name() == name) {
            return std::move(command);
        }
    }
    return nullptr;
}

int unknownCommand(const QString& name, Streams& io)
{
    print(
        io.err, QStringLiteral("shoulu-cli: unknown command %1; try 'shoulu-cli help'\n").arg(quotedForMessage(name)));
    return ExitUsage;
}

// Where the command's name stands: the first argument that is neither a global option nor
// the value of one.
qsizetype commandIndex(const QStringList& args)
{
    const QList<OptionSpec> globals = GlobalOptions::specs();
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--")) {
            return i + 1 < args.size() ? i + 1 : -1;
        }
        if (arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            return i;
        }
        for (const OptionSpec& declared : globals) {
            if (declared.takesValue() && arg == QLatin1String("--") + declared.name) {
                ++i;
            }
        }
    }
    return -1;
}

int runHelp(const QStringList& topics, Streams& io)
{
    if (topics.isEmpty()) {
        print(io.out, generalHelp());
        return ExitOk;
    }
    const auto command = findCommand(topics.first());
    if (!command) {
        return unknownCommand(topics.first(), io);
    }
    print(io.out, commandHelp(*command));
    return ExitOk;
}

} // namespace

int runCommandLine(const QStringList& args, Streams& io)
{
    // Every statement of a command waits out another program's lock as long as a row commit would.
    SettingsDatabase::setLockWait(CommitRetry::BudgetMs);
    const qsizetype at = commandIndex(args);
    const QString name = at < 0 ? QString() : args.at(at);
    QStringList rest = args;
    if (at >= 0) {
        rest.removeAt(at);
    }
    const auto command = name.isEmpty() || name == QLatin1String("help") ? nullptr : findCommand(name);
    if (!name.isEmpty() && name != QLatin1String("help") && !command) {
        return unknownCommand(name, io);
    }
    // A command may take an option named like a global one (chart's --engines KEY,...): after the
    // command's name it is the command's, before it the global one.
    QList<OptionSpec> globals = GlobalOptions::specs();
    QStringList shadowed;
    const QList<OptionSpec> own = command ? command->options() : QList<OptionSpec>();
    for (const OptionSpec& declared : own) {
        for (qsizetype g = globals.size() - 1; g >= 0; --g) {
            if (globals.at(g).name == declared.name) {
                shadowed.append(declared.name);
                globals.removeAt(g);
            }
        }
    }
    const QList<OptionSpec> common = QList<OptionSpec>(globals) << HelpOption << VersionOption;
    Result<Arguments> read = Arguments::read(shadowed.isEmpty() ? rest : args.mid(at + 1), common + own);
    Result<Arguments> beforeCommand = Arguments::read(
        shadowed.isEmpty() ? QStringList() : args.mid(0, at), GlobalOptions::specs() << HelpOption << VersionOption);
    if (read && !beforeCommand) {
        read = beforeCommand;
    }
    if (!read) {
        if (command) {
            return command->usageError(io, read.error());
        }
        print(io.err, QStringLiteral("shoulu-cli: %1; try 'shoulu-cli help'\n").arg(read.error()));
        return ExitUsage;
    }
    if (read->isSet(QStringLiteral("version")) || beforeCommand->isSet(QStringLiteral("version"))) {
        print(io.out, QStringLiteral("shoulu-cli %1\n").arg(QStringLiteral(SHOULU_VERSION)));
        return ExitOk;
    }
    if (command && (read->isSet(QStringLiteral("help")) || beforeCommand->isSet(QStringLiteral("help")))) {
        print(io.out, commandHelp(*command));
        return ExitOk;
    }
    if (!command) {
        if (name.isEmpty() && !read->isSet(QStringLiteral("help"))) {
            print(io.err, QStringLiteral("shoulu-cli: no command given; try 'shoulu-cli help'\n"));
            return ExitUsage;
        }
        return runHelp(read->positional(), io);
    }
    Arguments global = *beforeCommand;
    QStringList globalNames;
    for (const OptionSpec& declared : std::as_const(globals)) {
        globalNames.append(declared.name);
    }
    global.adopt(*read, globalNames);
    return command->execute(*read, GlobalOptions::from(global), io);
}

} // namespace shoulu::cli
