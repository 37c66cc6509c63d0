#pragma once

#include <QCoreApplication>

#include <memory>

namespace shoulu::cli {

// The application object for this command line: a widget application when it names a command
// that draws (which then draws offscreen when there is no display), else a plain one, so that
// the other commands never touch a window system.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv);

// Drops the warnings Qt gives when drawing without a display (no run-time directory; offscreen
// windows cannot size themselves): nothing a user of a picture command can act on, and noise
// in an unattended run's mail. Every other message goes to the handler in place before.
void dropHeadlessDrawingNoise();

} // namespace shoulu::cli
