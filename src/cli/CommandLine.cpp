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

QList<OptionSpec> GlobalOptions::specs()
{
    return {
        { QStringLiteral("db"), QStringLiteral("PATH"), QStringLiteral("database file (default: ./setting.dat)") },
        { QStringLiteral("engines"), QStringLiteral("PATH"),
            QStringLiteral("engine catalogue file (default: engines.json beside the database)") },
    };
}

GlobalOptions GlobalOptions::from(const Arguments& args)
{
    GlobalOptions options;
    options.dbPath = args.value(QStringLiteral("db"), options.dbPath);
    options.enginesPath = args.value(QStringLiteral("engines"));
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
    for (const OptionSpec& spec : specs) {
        const QString form = spec.takesValue() ? QStringLiteral("--%1 %2").arg(spec.name, spec.valueName)
                                               : QStringLiteral("--%1").arg(spec.name);
        text += QStringLiteral("  %1  %2\n").arg(form.leftJustified(16), spec.description);
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
    print(io.err, QStringLiteral("shoulu-cli: unknown command '%1'; try 'shoulu-cli help'\n").arg(name));
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
        for (const OptionSpec& spec : globals) {
            if (spec.takesValue() && arg == QLatin1String("--") + spec.name) {
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
    QList<OptionSpec> specs = GlobalOptions::specs() << HelpOption << VersionOption;
    if (command) {
        specs += command->options();
    }
    const Result<Arguments> read = Arguments::read(rest, specs);
    if (!read) {
        if (command) {
            return command->usageError(io, read.error());
        }
        print(io.err, QStringLiteral("shoulu-cli: %1; try 'shoulu-cli help'\n").arg(read.error()));
        return ExitUsage;
    }
    if (read->isSet(QStringLiteral("version"))) {
        print(io.out, QStringLiteral("shoulu-cli %1\n").arg(QStringLiteral(SHOULU_VERSION)));
        return ExitOk;
    }
    if (command && read->isSet(QStringLiteral("help"))) {
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
    return command->execute(*read, GlobalOptions::from(*read), io);
}

} // namespace shoulu::cli
