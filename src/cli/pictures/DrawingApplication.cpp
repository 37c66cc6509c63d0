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

QtMessageHandler g_nextHandler = nullptr;

void passOnAllButHeadlessNoise(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const bool noise = type == QtWarningMsg
        && (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))
            || message == QLatin1String("This plugin does not support propagateSizeHints()"));
    if (!noise && g_nextHandler != nullptr) {
        g_nextHandler(type, context, message);
    }
}

} // namespace

void dropHeadlessDrawingNoise()
{
    if (g_nextHandler == nullptr) {
        g_nextHandler = qInstallMessageHandler(passOnAllButHeadlessNoise);
    }
}

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    if (!namesDrawingCommand(argc, argv)) {
        return std::make_unique<QCoreApplication>(argc, argv);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        dropHeadlessDrawingNoise();
    }
    return std::make_unique<QApplication>(argc, argv);
}

} // namespace shoulu::cli
