#pragma once

#include <QCoreApplication>

#include <memory>

namespace shoulu::cli {

// The application object for this command line: a widget application when it names a command
// that draws (which then draws offscreen when there is no display), else a plain one, so that
// the other commands never touch a window system.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv);

} // namespace shoulu::cli
