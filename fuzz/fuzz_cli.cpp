// The command line of shoulu-cli: argument parsing, usage errors and the commands that work
// offline, run in-process against a database path that does not exist.
//
// Input: arguments separated by NUL bytes; when there is more than one piece, the last is
// standard input. Inputs naming a network command, or holding a '/' (a path that could
// reach an existing file), are not run. The process works in a directory that has been
// removed, so no relative path can be created either.
#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "cli/Command.h"

#include <QByteArray>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace shoulu::fuzz {

namespace {

// An absolute database path inside a directory that is gone; empty when the setup failed.
const QString& missingDatabase()
{
    static const QString path = []() -> QString {
        char directory[] = "/tmp/shoulu-fuzz-cli-XXXXXX";
        if (!mkdtemp(directory) || chdir(directory) != 0 || rmdir(directory) != 0) {
            std::perror("fuzz_cli: cannot set up a removed working directory");
            std::abort();
        }
        return QString::fromUtf8(directory) + QStringLiteral("/missing/setting.dat");
    }();
    return path;
}

// Collects a stream's output; the text is complete once the stream is closed.
class MemoryStream
{
public:
    MemoryStream()
        : m_stream(open_memstream(&m_buffer, &m_size))
    { }
    ~MemoryStream()
    {
        close();
        std::free(m_buffer);
    }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    FILE* stream() const { return m_stream; }
    QByteArray close()
    {
        if (m_stream) {
            std::fclose(m_stream);
            m_stream = nullptr;
        }
        return QByteArray(m_buffer, static_cast<qsizetype>(m_size));
    }

private:
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    FILE* m_stream;
};

bool isRunnable(const QStringList& args)
{
    for (const QString& arg : args) {
        if (arg.contains(QLatin1Char('/')) || arg == QLatin1String("query") || arg == QLatin1String("batch")) {
            return false;
        }
    }
    return args.size() <= 64;
}

} // namespace

int fuzzCli(const std::uint8_t* data, std::size_t size)
{
    const QString& database = missingDatabase();
    const QList<QByteArray> pieces
        = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)).split('\0');
    QByteArray input = pieces.size() > 1 ? pieces.last() : QByteArray();
    QStringList args;
    for (qsizetype i = 0; i < (pieces.size() > 1 ? pieces.size() - 1 : pieces.size()); ++i) {
        args.append(QString::fromUtf8(pieces.at(i)));
    }
    if (!isRunnable(args)) {
        return -1;
    }
    args.prepend(database);
    args.prepend(QStringLiteral("--db"));

    const qsizetype inputSize = input.size();
    input.append('\0'); // fmemopen wants a buffer even for no input
    FILE* in = fmemopen(input.data(), static_cast<std::size_t>(inputSize), "r");
    MemoryStream out;
    MemoryStream err;
    FUZZ_CHECK(in && out.stream() && err.stream());
    cli::Streams io;
    io.in = in;
    io.out = out.stream();
    io.err = err.stream();
    const int exitCode = cli::runCommandLine(args, io);
    std::fclose(in);
    const QByteArray outText = out.close();
    const QByteArray errText = err.close();

    FUZZ_CHECK(exitCode == cli::ExitOk || exitCode == cli::ExitFailure || exitCode == cli::ExitUsage);
    // A failure always says why; a success always answers.
    FUZZ_CHECK(exitCode == cli::ExitOk || !errText.isEmpty());
    FUZZ_CHECK(exitCode != cli::ExitOk || !outText.isEmpty());
    FUZZ_CHECK(!QFileInfo::exists(database));
    return 0;
}

} // namespace shoulu::fuzz

SHOULU_FUZZ_ENTRY(fuzzCli)
