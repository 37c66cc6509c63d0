#pragma once

#include "util/Result.h"

namespace shoulu {

class Database;

// The layout of setting.dat: the two tables, the indexes the history views rely on, and
// the version kept in PRAGMA user_version so that a later layout can migrate an older file.
class Schema
{
public:
    // 1: domain and shoulu. 2: readings beside shoulu, one per asked engine of a stored row.
    // 3: a reading records when its archived page was last read again (reread_at).
    // 4: a reading says why its engine was not asked (reason: "cooling" or NULL).
    static constexpr int Version = 4;

    // Tables, indexes and version in an empty, keyed database, in one transaction.
    static Result<void> create(Database& db);
    // Fails with the cause when a table or column is missing or the file is of a later version.
    // Changes nothing on failure; an older writable file is brought to this layout in one
    // transaction (a file made without a version, by hand, also gets the indexes).
    static Result<void> check(Database& db);

private:
    static Result<void> checkColumns(
        Database& db, const char* table, const char* pragma, std::initializer_list<const char*> columns);
};

} // namespace shoulu
