#include "archive/ArchiveRetention.h"

#include "archive/PageArchive.h"
#include "store/Database.h"
#include "store/Transaction.h"

#include <map>
#include <vector>

namespace shoulu {

namespace {

constexpr qint64 SecondsPerDay = 24 * 60 * 60;

Result<qint64> storedBytes(Database& db)
{
    return db.singleInt("SELECT (SELECT coalesce(sum(stored_size), 0) FROM body)"
                        " + (SELECT coalesce(sum(length(data)), 0) FROM dictionary)");
}

// Bodies no fetch refers to any more; returns how many.
Result<int> dropOrphans(Database& db)
{
    if (auto dropped = db.exec("DELETE FROM body WHERE id NOT IN (SELECT body_id FROM fetch)"); !dropped) {
        return dropped.failure();
    }
    auto changes = db.singleInt("SELECT changes()");
    return changes ? Result<int>(static_cast<int>(*changes)) : changes.failure();
}

// How many fetches refer to each body, by body id.
Result<std::map<qint64, qint64>> bodyReferences(Database& db)
{
    auto statement = db.prepare("SELECT body_id, count(*) FROM fetch GROUP BY body_id");
    if (!statement) {
        return statement.failure();
    }
    std::map<qint64, qint64> references;
    auto read = statement->forEachRow([&] { references.emplace(statement->int64At(0), statement->int64At(1)); });
    if (!read) {
        return read.failure();
    }
    return references;
}

} // namespace

ArchiveRetention::ArchiveRetention(PageArchive& archive)
    : m_archive(archive)
{ }

Result<RetentionLimits> ArchiveRetention::limits()
{
    auto statement = m_archive.database().prepare("SELECT name, value FROM setting");
    if (!statement) {
        return statement.failure();
    }
    RetentionLimits limits;
    auto read = statement->forEachRow([&] {
        const QString name = statement->textAt(0);
        if (name == QLatin1String("max_age_days")) {
            limits.maxAgeDays = static_cast<int>(statement->int64At(1));
        } else if (name == QLatin1String("max_bytes")) {
            limits.maxBytes = statement->int64At(1);
        }
    });
    if (!read) {
        return read.failure();
    }
    return limits;
}

Result<void> ArchiveRetention::setLimits(const RetentionLimits& limits)
{
    Database& db = m_archive.database();
    return inTransaction(db, [&]() -> Result<void> {
        auto statement = db.prepare("INSERT OR REPLACE INTO setting (name, value) VALUES (?1, ?2)");
        if (!statement) {
            return statement.failure();
        }
        for (const auto& [name, value] : { std::pair { "max_age_days", qint64 { limits.maxAgeDays } },
                 std::pair { "max_bytes", limits.maxBytes } }) {
            statement->reset();
            if (auto bound = statement->bindAll(QString::fromLatin1(name), std::int64_t { value }); !bound) {
                return bound;
            }
            if (auto ran = statement->run(); !ran) {
                return ran;
            }
        }
        return {};
    });
}

Result<PruneOutcome> ArchiveRetention::prune(qint64 now)
{
    auto current = limits();
    if (!current) {
        return current.failure();
    }
    return prune(now, *current);
}

Result<PrunePlan> ArchiveRetention::plan(qint64 now, const RetentionLimits& limits)
{
    Database& db = m_archive.database();
    auto references = bodyReferences(db);
    auto total = references ? storedBytes(db) : references.failure();
    if (!total) {
        return total.failure();
    }
    PrunePlan plan;
    qint64 bytes = *total;
    const qint64 cutoff = now - qint64 { limits.maxAgeDays } * SecondsPerDay;
    // Every fetch past the age limit, then, while the archive is still too big, the oldest of
    // the rest: pages whose reading was never stored, then trusted ones. A body shared by several
    // fetches is freed only with the last.
    auto order = db.prepare("SELECT f.id, f.body_id, b.stored_size, f.fetched_at FROM fetch f"
                            " JOIN body b ON b.id = f.body_id"
                            " ORDER BY f.fetched_at >= ?1, f.linked, f.trusted DESC, f.fetched_at, f.id");
    if (!order) {
        return order.failure();
    }
    if (auto bound = order->bind(1, std::int64_t { cutoff }); !bound) {
        return bound.failure();
    }
    for (;;) {
        auto more = order->step();
        if (!more) {
            return more.failure();
        }
        if (!*more) {
            break;
        }
        const qint64 fetchedAt = order->int64At(3);
        if (fetchedAt >= cutoff && bytes <= limits.maxBytes) {
            break;
        }
        plan.fetchIds.push_back(order->int64At(0));
        if (fetchedAt >= now - SecondsPerDay) {
            ++plan.recentFetches;
        }
        if (--(*references)[order->int64At(1)] == 0) {
            bytes -= order->int64At(2);
            ++plan.bodies;
        }
    }
    plan.storedBytes = bytes;
    return plan;
}

Result<PruneOutcome> ArchiveRetention::prune(qint64 now, const RetentionLimits& limits)
{
    Database& db = m_archive.database();
    PruneOutcome outcome;
    auto pruned = inTransaction(db, [&]() -> Result<void> {
        auto planned = plan(now, limits);
        if (!planned) {
            return planned.failure();
        }
        auto remove = db.prepare("DELETE FROM fetch WHERE id = ?1");
        if (!remove) {
            return remove.failure();
        }
        for (const qint64 id : planned->fetchIds) {
            remove->reset();
            if (auto bound = remove->bind(1, std::int64_t { id }); !bound) {
                return bound;
            }
            if (auto ran = remove->run(); !ran) {
                return ran;
            }
        }
        auto dropped = dropOrphans(db);
        auto left = dropped ? storedBytes(db) : dropped.failure();
        if (!left) {
            return left.failure();
        }
        outcome.fetches = static_cast<int>(planned->fetchIds.size());
        outcome.bodies = *dropped;
        outcome.storedBytes = *left;
        return {};
    });
    if (!pruned) {
        return pruned.failure();
    }
    (void)db.exec("PRAGMA incremental_vacuum");
    return outcome;
}

} // namespace shoulu
