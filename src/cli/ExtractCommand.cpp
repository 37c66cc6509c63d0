#include "cli/ExtractCommand.h"

#include "engines/CountExtractor.h"
#include "engines/EngineTable.h"
#include "util/Result.h"

#include <QFile>

#include <cerrno>
#include <cstring>

namespace shoulu::cli {

namespace {

const QString kPrefix = QStringLiteral("shoulu-cli extract: ");

Result<QByteArray> readStream(FILE* stream)
{
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const size_t got = std::fread(buffer, 1, sizeof buffer, stream);
        bytes.append(buffer, static_cast<qsizetype>(got));
        if (got < sizeof buffer) {
            break;
        }
    }
    if (std::ferror(stream)) {
        return Error { QString::fromLocal8Bit(std::strerror(errno)) };
    }
    return bytes;
}

Result<QByteArray> readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Error { file.errorString() };
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return Error { file.errorString() };
    }
    return bytes;
}

QString engineNames()
{
    QStringList names;
    for (int i = 0; i < EngineCount; ++i) {
        names.append(QLatin1String(engineInfo(i).name));
    }
    return names.join(QLatin1String(", "));
}

} // namespace

QString ExtractCommand::name() const
{
    return QStringLiteral("extract");
}

QString ExtractCommand::synopsis() const
{
    return QStringLiteral("extract ENGINE [FILE]");
}

QString ExtractCommand::description() const
{
    return QStringLiteral("print the count ENGINE (0-6 or a name) reads from a saved result page (FILE or stdin)");
}

int ExtractCommand::execute(const QStringList& args, const GlobalOptions& /*options*/, Streams& io)
{
    if (args.isEmpty() || args.size() > 2) {
        print(io.err, kPrefix + QStringLiteral("usage: shoulu-cli %1\n").arg(synopsis()));
        return ExitUsage;
    }
    const int engine = engineIndexFromText(args.at(0));
    if (engine < 0) {
        print(io.err,
            kPrefix
                + QStringLiteral("unknown engine '%1'; use 0-%2 or one of %3\n")
                      .arg(args.at(0), QString::number(EngineCount - 1), engineNames()));
        return ExitUsage;
    }
    const bool fromStdin = args.size() == 1;
    const Result<QByteArray> page = fromStdin ? readStream(io.in) : readFile(args.at(1));
    if (!page) {
        const QString source = fromStdin ? QStringLiteral("standard input") : QStringLiteral("'%1'").arg(args.at(1));
        print(io.err, kPrefix + QStringLiteral("cannot read %1: %2\n").arg(source, page.error()));
        return ExitFailure;
    }
    print(io.out, QString::number(ExtractCount(engine, *page)) + QLatin1Char('\n'));
    return ExitOk;
}

} // namespace shoulu::cli
