#include "archive/ArchiveSchema.h"

#include "store/Database.h"
#include "store/Transaction.h"

namespace shoulu {

namespace {

// body: one per distinct content; dictionary_id NULL for bodies compressed without one.
// fetch: one per answer archived, linked to its reading by (domain, engine, fetched_at).
// trusted: the reading was a figure; such pages are given up first when space runs short.
// incomplete: the reply was cut short, the body is only what came.
// linked: its reading is stored; 0 while the row is still to commit, and for good when it never did.
// Such pages go first when space runs short.
const char* const CreateTables = R"(
CREATE TABLE dictionary (
    id INTEGER PRIMARY KEY,
    engine TEXT NOT NULL,
    created_at INTEGER NOT NULL,
    data BLOB NOT NULL
);
CREATE TABLE body (
    id INTEGER PRIMARY KEY,
    hash BLOB NOT NULL UNIQUE,
    size INTEGER NOT NULL,
    stored_size INTEGER NOT NULL,
    dictionary_id INTEGER,
    data BLOB NOT NULL
);
CREATE TABLE fetch (
    id INTEGER PRIMARY KEY,
    domain TEXT NOT NULL COLLATE NOCASE,
    engine TEXT NOT NULL,
    fetched_at INTEGER NOT NULL,
    final_url TEXT,
    http_status INTEGER NOT NULL,
    content_type TEXT,
    trusted INTEGER NOT NULL,
    body_id INTEGER NOT NULL,
    incomplete INTEGER NOT NULL DEFAULT 0,
    linked INTEGER NOT NULL DEFAULT 1
);
CREATE TABLE setting (
    name TEXT PRIMARY KEY,
    value INTEGER NOT NULL
);
CREATE INDEX fetch_domain ON fetch(domain, fetched_at);
CREATE INDEX fetch_engine ON fetch(engine, fetched_at);
CREATE INDEX fetch_body ON fetch(body_id);
)";

// From layout 1, whose pages all count as linked: nothing then told otherwise.
const char* const FromLayout1 = "ALTER TABLE fetch ADD COLUMN incomplete INTEGER NOT NULL DEFAULT 0;"
                                "ALTER TABLE fetch ADD COLUMN linked INTEGER NOT NULL DEFAULT 1;";

} // namespace

Result<void> ArchiveSchema::create(Database& db)
{
    // Only before the first table: lets a prune hand freed pages back to the file system.
    if (auto result = db.exec("PRAGMA auto_vacuum = INCREMENTAL"); !result) {
        return result;
    }
    return inTransaction(db, [&db]() -> Result<void> {
        if (auto result = db.exec(CreateTables); !result) {
            return result;
        }
        static_assert(ApplicationId == 0x73686C70 && Version == 2, "the pragmas below must say the same");
        if (auto result = db.exec("PRAGMA application_id = 1936223344"); !result) {
            return result;
        }
        return db.exec("PRAGMA user_version = 2");
    });
}

Result<bool> ArchiveSchema::isBlank(Database& db)
{
    auto tables = db.singleInt("SELECT count(*) FROM sqlite_master");
    auto id = tables ? db.singleInt("PRAGMA application_id") : tables;
    if (!id) {
        return id.failure();
    }
    return *tables == 0 && *id == 0;
}

Result<void> ArchiveSchema::check(Database& db)
{
    auto id = db.singleInt("PRAGMA application_id");
    if (!id) {
        return id.failure();
    }
    if (*id != ApplicationId) {
        return Error { QStringLiteral("%1 is not a page archive of shoulu").arg(db.path()) };
    }
    auto version = db.singleInt("PRAGMA user_version");
    if (!version) {
        return version.failure();
    }
    if (*version > Version) {
        return Error {
            QStringLiteral("%1 was made by a later version of shoulu (layout %2)").arg(db.path()).arg(*version)
        };
    }
    if (*version == Version) {
        return {};
    }
    if (db.isReadOnly()) {
        return Error { QStringLiteral("%1 is of an earlier layout and read-only: open it once with write access to "
                                      "bring it up to date")
                           .arg(db.path()) };
    }
    auto migrated = inTransaction(db, [&db]() -> Result<void> {
        if (auto result = db.exec(FromLayout1); !result) {
            return result;
        }
        return db.exec("PRAGMA user_version = 2");
    });
    if (!migrated) {
        return migrated.failure().reworded(
            QStringLiteral("%1 could not be brought to the current layout (left as it was): %2")
                .arg(db.path(), migrated.error()));
    }
    return {};
}

} // namespace shoulu
