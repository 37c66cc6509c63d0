#pragma once

#include "util/Result.h"

#include <QString>

#include <optional>

namespace shoulu {

// The window's own command line, read before Qt takes its share (-platform and the like pass
// through untouched).
//     shoulu              ./setting.dat, as from a terminal
//     shoulu --user-data  the per-user folder, made with an empty database the first time
//     shoulu --help       prints the usage; needs no display, nor does --version
// Anything else but Qt's own options is refused (exit 2), and so is a start without a display
// (exit 1), before Qt would abort on it.
struct StartOptions
{
    bool perUser = false;
    std::optional<int> exitCode; // set: the program is done (what was printed says why)

    static StartOptions read(int argc, char* argv[]);

    // The database the window opens. For the per-user folder, also makes it the working folder,
    // where the engine catalogue and other relative paths are looked for.
    Result<QString> prepareDatabase() const;
};

} // namespace shoulu
