#pragma once

#include "util/Result.h"

namespace shoulu {

class Database;

// The layout of pages.dat, told apart from any other SQLite file by its application id.
class ArchiveSchema
{
public:
    static constexpr int ApplicationId = 0x73686C70; // "shlp"
    static constexpr int Version = 1;
    // fetch.trusted holds flags: the reading was a figure; the reading is not (yet) stored.
    static constexpr int Trusted = 1;
    static constexpr int NoReadingYet = 2;

    // Tables, indexes, id and version in an empty database, in one transaction.
    static Result<void> create(Database& db);
    // Fails with the cause for a file that is not a page archive or is of a later layout.
    static Result<void> check(Database& db);
    // Whether the file holds nothing at all yet (a file left empty by an interrupted creation).
    static Result<bool> isBlank(Database& db);
};

} // namespace shoulu
