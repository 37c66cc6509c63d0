#pragma once

#include "util/Result.h"

#include <QString>

namespace shoulu {

// What an opener of setting.dat means to do with it.
enum class Access {
    Write, // store into it: refused, with the cause, when the file or its folder is not writable
    Read, // look at it: read-only when it may not be written, else as Write
    ReadOnly, // look at it, never writing, whatever the permissions
};

// Whether this user may write the file and the folder that holds it (where SQLite keeps the
// file's log and its index while the file is open for writing).
struct Writability
{
    bool file = true;
    bool folder = true;
};

Writability writabilityOf(const QString& path);

// True when the file is to be opened read-only; the cause when `access` needs writing and the
// file or its folder does not allow it.
Result<bool> opensReadOnly(const QString& path, Access access, Writability writable);

// The folder a new file would be made in, named when it cannot be.
Result<void> checkFolderWritable(const QString& path, const QString& purpose);

} // namespace shoulu
