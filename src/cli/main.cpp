#include "cli/Command.h"

#ifdef SHOULU_CLI_PICTURES
#include "cli/pictures/DrawingApplication.h"
#endif

#include <QCoreApplication>

#include <unistd.h>

int main(int argc, char** argv)
{
#ifdef SHOULU_CLI_PICTURES
    const auto app = shoulu::cli::makeApplication(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    QCoreApplication::setApplicationName(QStringLiteral("shoulu-cli"));

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    shoulu::cli::Streams io;
    io.errIsTerminal = isatty(fileno(stderr)) != 0;
    return shoulu::cli::runCommandLine(args, io);
}
