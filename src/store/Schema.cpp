#include "store/Schema.h"

#include "engines/EngineTable.h"
#include "store/Database.h"
#include "store/Transaction.h"

#include <QSet>

namespace shoulu {

namespace {

// Domains compare without regard to letter case everywhere, so the columns carry NOCASE and
// every comparison and index inherits it. NOCASE folds ASCII letters only.
const char* const CreateTables = R"(
CREATE TABLE domain (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    domain TEXT COLLATE NOCASE
);
)";

// One INTEGER column per stored engine, named by the engine catalogue, between domain and yyyy.
QByteArray createResultTable()
{
    QByteArray sql
        = "CREATE TABLE shoulu (\n    id INTEGER PRIMARY KEY AUTOINCREMENT,\n    domain TEXT COLLATE NOCASE,\n";
    for (int i = 0; i < EngineCount; ++i) {
        sql += QByteArray("    ") + engineInfo(i).name + " INTEGER,\n";
    }
    return sql + "    yyyy INTEGER, mm INTEGER, dd INTEGER,\n    searchtime TEXT\n);\n";
}

// domain_text: the already-listed test and the listing filter.
// shoulu_domain_id: a domain's newest row with one seek (latest-rows view).
// shoulu_domain_day: a domain's days in order with each day's greatest id, from the index
// alone (daily view, chart window).
const char* const CreateIndexes = R"(
CREATE INDEX IF NOT EXISTS domain_text ON domain(domain);
CREATE INDEX IF NOT EXISTS shoulu_domain_id ON shoulu(domain, id);
CREATE INDEX IF NOT EXISTS shoulu_domain_day ON shoulu(domain, yyyy, mm, dd, id);
)";

// What each engine's answer was read as. The rule texts are long and few: kept once each.
const char* const CreateReadings = R"(
CREATE TABLE reading_rule (
    id INTEGER PRIMARY KEY,
    text TEXT NOT NULL UNIQUE
);
CREATE TABLE reading (
    shoulu_id INTEGER NOT NULL,
    engine TEXT NOT NULL,
    status TEXT NOT NULL,
    count INTEGER NOT NULL,
    http_status INTEGER,
    final_host TEXT,
    error TEXT,
    rule_id INTEGER,
    fetched_at INTEGER,
    PRIMARY KEY (shoulu_id, engine)
) WITHOUT ROWID;
)";

const char* const AddRereadTime = "ALTER TABLE reading ADD COLUMN reread_at INTEGER;";
// Why an engine was not asked ("cooling"); NULL when it was.
const char* const AddReason = "ALTER TABLE reading ADD COLUMN reason TEXT;";

Result<int> userVersion(Database& db)
{
    auto version = db.oneValue<std::int64_t>("PRAGMA user_version");
    if (!version) {
        return version.failure();
    }
    return static_cast<int>(version->value_or(0));
}

Result<void> stampVersion(Database& db)
{
    static_assert(Schema::Version == 4, "write the migration and the new number here");
    return db.exec("PRAGMA user_version = 4");
}

} // namespace

Result<void> Schema::create(Database& db)
{
    return inTransaction(db, [&db]() -> Result<void> {
        if (auto result = db.exec(CreateTables); !result) {
            return result;
        }
        if (auto result = db.exec(createResultTable().constData()); !result) {
            return result;
        }
        if (auto result = db.exec(CreateReadings); !result) {
            return result;
        }
        if (auto result = db.exec(AddRereadTime); !result) {
            return result;
        }
        if (auto result = db.exec(AddReason); !result) {
            return result;
        }
        if (auto result = db.exec(CreateIndexes); !result) {
            return result;
        }
        return stampVersion(db);
    });
}

Result<void> Schema::checkColumns(
    Database& db, const char* table, const char* pragma, std::initializer_list<const char*> columns)
{
    auto statement = db.prepare(pragma);
    if (!statement) {
        return statement.failure();
    }
    QSet<QString> present;
    if (auto listed = statement->forEachRow([&] {
            present.insert(statement->textAt(1).toLower()); // table_info: cid, name, type, ...
        });
        !listed) {
        return listed;
    }
    if (present.isEmpty()) {
        return Error { QStringLiteral("%1 has no table '%2'").arg(db.path(), QLatin1String(table)) };
    }
    for (const char* column : columns) {
        if (!present.contains(QLatin1String(column))) {
            return Error { QStringLiteral("%1: table '%2' has no column '%3'")
                               .arg(db.path(), QLatin1String(table), QLatin1String(column)) };
        }
    }
    return {};
}

Result<void> Schema::check(Database& db)
{
    if (auto result = checkColumns(db, "domain", "PRAGMA table_info(domain)", { "id", "domain" }); !result) {
        return result;
    }
    if (auto result
        = checkColumns(db, "shoulu", "PRAGMA table_info(shoulu)", { "id", "domain", "yyyy", "mm", "dd", "searchtime" });
        !result) {
        return result;
    }
    // The engines' columns, as the engine catalogue names them.
    for (int i = 0; i < EngineCount; ++i) {
        if (auto result = checkColumns(db, "shoulu", "PRAGMA table_info(shoulu)", { engineInfo(i).name }); !result) {
            return result;
        }
    }
    auto version = userVersion(db);
    if (!version) {
        return version.failure();
    }
    if (*version > Version) {
        return Error { QStringLiteral("%1 was made by a later version of shoulu (layout %2; this one knows %3)")
                           .arg(db.path())
                           .arg(*version)
                           .arg(Version) };
    }
    if (*version >= 2) {
        if (auto result = checkColumns(db, "reading", "PRAGMA table_info(reading)",
                { "shoulu_id", "engine", "status", "count", "http_status", "final_host", "error", "rule_id",
                    "fetched_at" });
            !result) {
            return result;
        }
    }
    if (*version >= 3) {
        if (auto result = checkColumns(db, "reading", "PRAGMA table_info(reading)", { "reread_at" }); !result) {
            return result;
        }
    }
    if (*version >= 4) {
        if (auto result = checkColumns(db, "reading", "PRAGMA table_info(reading)", { "reason" }); !result) {
            return result;
        }
    }
    if (*version == Version || db.isReadOnly()) {
        return {}; // a read-only file works without the indexes and readings, only slower and plainer
    }
    const int from = *version;
    auto migrated = inTransaction(db, [&db, from]() -> Result<void> {
        if (auto result = db.exec(CreateIndexes); !result) {
            return result;
        }
        if (from < 2) {
            if (auto result = db.exec(CreateReadings); !result) {
                return result;
            }
        }
        if (from < 3) {
            if (auto result = db.exec(AddRereadTime); !result) {
                return result;
            }
        }
        if (from < 4) {
            if (auto result = db.exec(AddReason); !result) {
                return result;
            }
        }
        return stampVersion(db);
    });
    if (!migrated) {
        return migrated.failure().reworded(
            QStringLiteral("%1 could not be brought to the current layout (left as it was): %2")
                .arg(db.path(), migrated.error()));
    }
    return migrated;
}

} // namespace shoulu
