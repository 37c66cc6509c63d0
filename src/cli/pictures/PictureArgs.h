#pragma once

#include "cli/Command.h"

#include <QString>

namespace shoulu::cli {

// The picture commands draw with widgets: true when the program made a QApplication,
// else says why not on io.err.
bool canDraw(const QString& prefix, Streams& io);

} // namespace shoulu::cli
