#pragma once

namespace shoulu {

// What a failed commit says about the store, from the SQLite result code behind it.
enum class StoreFailure {
    Transient, // another connection holds the file: the same commit may succeed later
    RowRefused, // this row cannot be stored (no code, a constraint); the next one may be
    Unrecoverable, // the file is gone, replaced, damaged, read-only or the disk is full
};

StoreFailure classifyStoreFailure(int sqliteCode);

} // namespace shoulu
