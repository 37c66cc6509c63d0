#include "support/CliRunner.h"

#include "cli/Command.h"

#include <cstdio>
#include <cstdlib>

namespace shoulu::test {

namespace {

// A stream that collects what is written to it; text() is valid once the stream is closed.
class MemoryOutput
{
public:
    MemoryOutput()
        : m_stream(open_memstream(&m_buffer, &m_size))
    { }
    ~MemoryOutput()
    {
        close();
        std::free(m_buffer);
    }
    MemoryOutput(const MemoryOutput&) = delete;
    MemoryOutput& operator=(const MemoryOutput&) = delete;

    FILE* stream() const { return m_stream; }
    QString close()
    {
        if (m_stream) {
            std::fclose(m_stream);
            m_stream = nullptr;
        }
        return QString::fromUtf8(m_buffer, static_cast<qsizetype>(m_size));
    }

private:
    char* m_buffer = nullptr;
    size_t m_size = 0;
    FILE* m_stream;
};

} // namespace

CliRun runCli(const QStringList& args, const QByteArray& input, bool errIsTerminal)
{
    QByteArray inputCopy = input;
    inputCopy.append('\0'); // fmemopen needs a writable buffer, even an empty one
    FILE* in = fmemopen(inputCopy.data(), static_cast<size_t>(input.size()), "r");
    MemoryOutput out;
    MemoryOutput err;

    CliRun run;
    if (!in || !out.stream() || !err.stream()) {
        run.err = QStringLiteral("runCli: cannot open in-memory streams");
        if (in) {
            std::fclose(in);
        }
        return run;
    }
    cli::Streams io;
    io.in = in;
    io.out = out.stream();
    io.err = err.stream();
    io.errIsTerminal = errIsTerminal;
    run.exitCode = cli::runCommandLine(args, io);
    std::fclose(in);
    run.out = out.close();
    run.err = err.close();
    return run;
}

} // namespace shoulu::test
