#pragma once

#include "util/Result.h"

#include <QProcessEnvironment>
#include <QString>

namespace shoulu {

// Where the database lives. From a terminal both programs work on ./setting.dat; the command
// line takes another file from SHOULU_DB (and --db above it); the menu entry and the daily
// service use the per-user file, setting.dat in the per-user data folder.
inline constexpr char DatabaseVariable[] = "SHOULU_DB";

// $XDG_DATA_HOME/shoulu, or ~/.local/share/shoulu when the variable is unset, empty or relative
// (the XDG rule: a relative value is to be ignored).
QString perUserFolder(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

// The command line's database without --db: $SHOULU_DB when set and not empty, else setting.dat.
QString defaultDatabasePath(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

// Makes the folder (private to its owner) and an empty setting.dat inside it the first time;
// an existing file is left as it is. Returns the database's absolute path.
Result<QString> preparePerUserDatabase(const QString& folder);

} // namespace shoulu
