#include "cli/ExtractCommand.h"

#include "engines/EngineCatalogue.h"
#include "engines/PageReader.h"
#include "fetch/FetchLimits.h"
#include "query/DomainText.h"
#include "util/BoundedRead.h"
#include "util/Result.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace shoulu::cli {

namespace {

const QString kPrefix = QStringLiteral("shoulu-cli extract: ");

QString engineNames(const EngineCatalogue& catalogue)
{
    QStringList names;
    for (const CatalogueEngine& engine : catalogue.engines()) {
        names.append(QStringLiteral("%1 (%2)").arg(engine.key, engine.caption));
    }
    return names.join(QLatin1String(", "));
}

QString readingJson(const CatalogueEngine& engine, const Reading& reading)
{
    const QJsonObject object { { QStringLiteral("engine"), engine.key },
        { QStringLiteral("status"), statusWord(reading.status) }, { QStringLiteral("count"), qint64(reading.count) },
        { QStringLiteral("rule"), reading.rule } };
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace

QString ExtractCommand::name() const
{
    return QStringLiteral("extract");
}

QString ExtractCommand::synopsis() const
{
    return QStringLiteral("extract [--format plain|json] ENGINE [FILE]");
}

QString ExtractCommand::description() const
{
    return QStringLiteral("read a saved result page (FILE or stdin) as ENGINE (key, caption or 0-6) would: the "
                          "figure that would be stored, or {engine, status, count, rule} as JSON");
}

QList<OptionSpec> ExtractCommand::options() const
{
    return { { QStringLiteral("format"), QStringLiteral("FORMAT"), QStringLiteral("plain (default) or json") } };
}

int ExtractCommand::execute(const Arguments& arguments, const GlobalOptions& options, Streams& io)
{
    const QString format = arguments.value(QStringLiteral("format"), QStringLiteral("plain"));
    if (format != QLatin1String("plain") && format != QLatin1String("json")) {
        return usageError(io, QStringLiteral("--format takes plain or json"));
    }
    const bool json = format == QLatin1String("json");
    const QStringList& args = arguments.positional();
    if (args.isEmpty() || args.size() > 2) {
        return usageError(io, QStringLiteral("an engine and at most one file"));
    }
    const Result<EngineCatalogue> catalogue = EngineCatalogue::load(options.catalogueFile(), options.catalogueKind());
    if (!catalogue) {
        print(io.err, kPrefix + escapeControls(catalogue.error()) + QLatin1Char('\n'));
        return ExitFailure;
    }
    const int engine = catalogue->find(args.at(0));
    if (engine < 0) {
        print(io.err,
            kPrefix
                + QStringLiteral("unknown engine %1; use 0-%2 or one of %3\n")
                      .arg(quotedForMessage(args.at(0)), QString::number(EngineCount - 1), engineNames(*catalogue)));
        return ExitUsage;
    }
    const bool fromStdin = args.size() == 1;
    // No larger than a fetched page may be. NUL bytes are kept: a fetched body holding them is
    // read as it came, and this must read a saved page the same way.
    const Result<QByteArray> page
        = fromStdin ? readAtMost(io.in, kMaxBodyBytes) : readFileAtMost(args.at(1), kMaxBodyBytes);
    if (!page) {
        const QString source = fromStdin ? QStringLiteral("standard input") : quotedForMessage(args.at(1));
        print(io.err, kPrefix + QStringLiteral("cannot read %1: %2\n").arg(source, escapeControls(page.error())));
        return ExitFailure;
    }
    const CatalogueEngine& info = catalogue->engine(engine);
    const Reading reading = readPage(info, *page);
    print(io.out, (json ? readingJson(info, reading) : QString::number(reading.count)) + QLatin1Char('\n'));
    return ExitOk;
}

} // namespace shoulu::cli
