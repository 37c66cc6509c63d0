#include "cli/pictures/DrawingApplication.h"

#include <QApplication>

#include <cstring>

namespace shoulu::cli {

namespace {

// A database file named like a command costs only a widget application nobody needed.
bool namesDrawingCommand(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "chart") == 0 || std::strcmp(argv[i], "report") == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    if (!namesDrawingCommand(argc, argv)) {
        return std::make_unique<QCoreApplication>(argc, argv);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    return std::make_unique<QApplication>(argc, argv);
}

} // namespace shoulu::cli
