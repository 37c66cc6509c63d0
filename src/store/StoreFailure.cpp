#include "store/StoreFailure.h"

#include <sqlcipher/sqlite3.h>

namespace shoulu {

StoreFailure classifyStoreFailure(int sqliteCode)
{
    switch (sqliteCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return StoreFailure::Transient;
    case SQLITE_OK: // not from SQLite: the row's own values were refused
    case SQLITE_CONSTRAINT:
    case SQLITE_TOOBIG:
    case SQLITE_MISMATCH:
    case SQLITE_RANGE:
        return StoreFailure::RowRefused;
    default:
        // Unknown codes stop a batch: hours of requests whose rows cannot be kept cost more
        // than a batch started again.
        return StoreFailure::Unrecoverable;
    }
}

} // namespace shoulu
