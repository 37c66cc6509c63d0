#include "cli/Command.h"

#include <QCoreApplication>

#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("shoulu-cli"));

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    shoulu::cli::Streams io;
    io.errIsTerminal = isatty(fileno(stderr)) != 0;
    return shoulu::cli::runCommandLine(args, io);
}
