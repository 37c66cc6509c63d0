#include "cli/EnginesCommand.h"

#include "cli/RowFormat.h"
#include "engines/EngineCatalogue.h"
#include "query/DomainText.h"

namespace shoulu::cli {

namespace {

const QString kPrefix = QStringLiteral("shoulu-cli engines: ");

// Pads by display columns: a Chinese character takes two.
QString padded(const QString& text, int width)
{
    return text + QString(std::max(0, width - displayWidth(text)), QLatin1Char(' '));
}

int list(const EngineCatalogue& catalogue, Streams& io)
{
    QString text = padded(QStringLiteral("KEY"), 8) + padded(QStringLiteral("CAPTION"), 9)
        + padded(QStringLiteral("STATE"), 6) + padded(QStringLiteral("RULES"), 6) + padded(QStringLiteral("SOURCE"), 9)
        + padded(QStringLiteral("ROUTE"), 6) + QStringLiteral("URL\n");
    for (const CatalogueEngine& engine : catalogue.engines()) {
        // Keys, captions and addresses may come from the user's file.
        text += padded(escapeControls(engine.key), 8) + padded(escapeControls(engine.caption), 9)
            + padded(engine.enabled ? QStringLiteral("on") : QStringLiteral("off"), 6)
            + padded(QString::number(engine.ruleCount()), 6)
            + padded(engine.fromUserFile ? QStringLiteral("file") : QStringLiteral("built-in"), 9)
            + padded(escapeControls(engine.route), 6) + escapeControls(engine.url) + QLatin1Char('\n');
    }
    if (!catalogue.userFile().isEmpty()) {
        text += QStringLiteral("(merged with %1)\n").arg(escapeControls(catalogue.userFile()));
    }
    print(io.out, text);
    return ExitOk;
}

} // namespace

QString EnginesCommand::name() const
{
    return QStringLiteral("engines");
}

QString EnginesCommand::synopsis() const
{
    return QStringLiteral("engines [check FILE | enable KEY | disable KEY]");
}

QString EnginesCommand::description() const
{
    return QStringLiteral("list the engine catalogue, check a catalogue file, or switch an engine on or off");
}

int EnginesCommand::execute(const Arguments& arguments, const GlobalOptions& options, Streams& io)
{
    const QStringList& args = arguments.positional();
    const QString file = options.catalogueFile();
    if (args.isEmpty()) {
        const Result<EngineCatalogue> catalogue = EngineCatalogue::load(file, options.catalogueKind());
        if (!catalogue) {
            print(io.err, kPrefix + escapeControls(catalogue.error()) + QLatin1Char('\n'));
            return ExitFailure;
        }
        return list(*catalogue, io);
    }
    const QString& action = args.at(0);
    const bool known
        = action == QLatin1String("check") || action == QLatin1String("enable") || action == QLatin1String("disable");
    if (!known) {
        return usageError(io, QStringLiteral("unknown action %1").arg(quotedForMessage(action)));
    }
    if (args.size() == 1) {
        return usageError(io,
            action == QLatin1String("check") ? QStringLiteral("check needs a FILE")
                                             : QStringLiteral("%1 needs an engine KEY").arg(action));
    }
    if (args.size() > 2) {
        return usageError(io, QStringLiteral("%1 takes one argument").arg(action));
    }
    if (args.size() == 2 && action == QLatin1String("check")) {
        const Result<EngineCatalogue> catalogue = EngineCatalogue::load(args.at(1), CatalogueFile::Named);
        if (!catalogue) {
            print(io.err, kPrefix + escapeControls(catalogue.error()) + QLatin1Char('\n'));
            return ExitFailure;
        }
        print(io.out, QStringLiteral("%1: ok, %2 engines\n").arg(escapeControls(args.at(1))).arg(catalogue->size()));
        return ExitOk;
    }
    if (args.size() == 2 && (action == QLatin1String("enable") || action == QLatin1String("disable"))) {
        const bool enable = action == QLatin1String("enable");
        if (const Result<void> written = EngineCatalogue::setEnabled(file, args.at(1), enable); !written) {
            print(io.err, kPrefix + escapeControls(written.error()) + QLatin1Char('\n'));
            return ExitFailure;
        }
        print(io.out,
            QStringLiteral("%1: %2 (%3)\n")
                .arg(escapeControls(args.at(1)), enable ? QStringLiteral("on") : QStringLiteral("off"),
                    escapeControls(file)));
        return ExitOk;
    }
    return usageError(io, QStringLiteral("unknown action %1").arg(quotedForMessage(action)));
}

} // namespace shoulu::cli
