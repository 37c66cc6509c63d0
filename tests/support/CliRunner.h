#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace shoulu::test {

struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs shoulu-cli in-process (cli::runCommandLine) with the given arguments, argv[0]
// excluded, and the given bytes as standard input; captures both output streams.
// `errIsTerminal` makes the program draw its progress line as it would on a terminal.
CliRun runCli(const QStringList& args, const QByteArray& input = {}, bool errIsTerminal = false);

} // namespace shoulu::test
