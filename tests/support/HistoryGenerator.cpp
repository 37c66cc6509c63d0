#include "support/HistoryGenerator.h"

#include "engines/EngineTable.h"
#include "engines/Reading.h"
#include "store/Database.h"
#include "store/Transaction.h"

#include <QDateTime>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace shoulu::test {

namespace {

quint64 mix(int domainIndex, int dayIndex, int engine)
{
    return (static_cast<quint64>(domainIndex) * 2654435761u) ^ (static_cast<quint64>(dayIndex) * 40503u)
        ^ (static_cast<quint64>(engine) * 97u);
}

// A handful of rule texts, as the engines' catalogue and the fetcher name them.
const std::array<const char*, 6> RuleTexts { {
    "markers",
    "http 429",
    "count: \xe6\x89\xbe\xe5\x88\xb0\xe7\x9b\xb8\xe5\x85\xb3\xe7\xbb\x93\xe6\x9e\x9c\xe7\xba\xa6([0-9,]+)\xe4\xb8\xaa",
    "count: About ([0-9,]+) results",
    "count: \xe5\x85\xb1\xe6\x89\xbe\xe5\x88\xb0([0-9,]+)\xe6\x9d\xa1\xe7\xbb\x93\xe6\x9e\x9c",
    "count: ([0-9,]+) results",
} };
constexpr int Markers = 0;
constexpr int Http429 = 1;
constexpr int FirstCountRule = 2;

// One reading as addshoulu stores it: rule 0 and empty texts where there is nothing to say.
struct GeneratedReading
{
    ReadingStatus status;
    qint64 count;
    int rule; // index into RuleTexts, -1 for none
    int httpStatus;
    bool blockedHost;
    const char* error;
};

// About 72% counted, 10% none, 9% blocked, 7% failed, 2% unreadable, repeatable.
GeneratedReading generated(int domainIndex, int dayIndex, int engine)
{
    const quint64 h = (mix(domainIndex, dayIndex, engine) * 0x9E3779B97F4A7C15ull) >> 40;
    const int slot = static_cast<int>(h % 100);
    if (slot < 72) {
        const int rule = h % 3 == 0 ? Markers : FirstCountRule + engine % (static_cast<int>(RuleTexts.size()) - 2);
        return { ReadingStatus::Counted, HistoryGenerator::count(domainIndex, dayIndex, engine), rule, 200, false, "" };
    }
    if (slot < 82) {
        return { ReadingStatus::None, 0, Markers, 200, false, "" };
    }
    if (slot < 91) {
        return { ReadingStatus::Blocked, 0, Http429, 429, true, "" };
    }
    if (slot < 98) {
        return { ReadingStatus::Failed, 0, -1, 0, false,
            h % 2 == 0 ? "timed out after 20 s" : "connection refused by the server" };
    }
    return { ReadingStatus::Unreadable, 0, -1, 200, false, "no rule reads the page" };
}

Result<std::vector<qint64>> storeRules(Database& db)
{
    auto insert = db.prepare("INSERT INTO reading_rule (text) VALUES (?1)");
    if (!insert) {
        return Error { insert.error() };
    }
    std::vector<qint64> ids;
    for (const char* text : RuleTexts) {
        insert->reset();
        if (auto done = insert->bind(1, QString::fromUtf8(text)); !done) {
            return Error { done.error() };
        }
        if (auto done = insert->run(); !done) {
            return Error { done.error() };
        }
        ids.push_back(db.lastInsertId());
    }
    return ids;
}

Result<qint64> pragmaValue(Database& db, const char* sql)
{
    auto statement = db.prepare(sql);
    if (!statement) {
        return Error { statement.error() };
    }
    auto row = statement->step();
    if (!row || !*row) {
        return Error { row ? QStringLiteral("%1 gave nothing").arg(QLatin1String(sql)) : row.error() };
    }
    return statement->int64At(0);
}

} // namespace

QString HistoryGenerator::domainName(int index)
{
    return QStringLiteral("site%1.example.com").arg(index, 4, 10, QLatin1Char('0'));
}

qint64 HistoryGenerator::count(int domainIndex, int dayIndex, int engine)
{
    // Varied, repeatable figures of realistic size.
    return static_cast<qint64>(mix(domainIndex, dayIndex, engine) % 5000000u);
}

Result<void> HistoryGenerator::fill(Database& db, int domains, int days, QDate firstDay, Readings readings)
{
    // The indexes take rows in domain order while rows come day by day: a large cache keeps the
    // fill from writing index pages out again and again.
    auto cache = pragmaValue(db, "PRAGMA cache_size");
    if (!cache) {
        return Error { cache.error() };
    }
    if (auto set = db.exec("PRAGMA cache_size = -262144"); !set) {
        return set;
    }
    const bool withReadings = readings == Readings::Seven;
    auto filled = inTransaction(db, [&]() -> Result<void> {
        QStringList names;
        auto listing = db.prepare("INSERT INTO domain (domain) VALUES (?1)");
        if (!listing) {
            return Error { listing.error() };
        }
        for (int d = 0; d < domains; ++d) {
            names.append(domainName(d));
            listing->reset();
            if (auto done = listing->bind(1, names.back()); !done) {
                return done;
            }
            if (auto done = listing->run(); !done) {
                return done;
            }
        }
        auto insert
            = db.prepare("INSERT INTO shoulu (domain, baidu, google, soso, yahoo, sogou, youdao, bing,"
                         " yyyy, mm, dd, searchtime) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
        if (!insert) {
            return Error { insert.error() };
        }
        std::vector<qint64> ruleIds;
        std::optional<Statement> insertReading;
        QStringList engines, hosts, blockedHosts, statuses;
        if (withReadings) {
            auto ids = storeRules(db);
            if (!ids) {
                return Error { ids.error() };
            }
            ruleIds = std::move(*ids);
            auto prepared = db.prepare("INSERT INTO reading (shoulu_id, engine, status, count, http_status,"
                                       " final_host, error, rule_id, fetched_at)"
                                       " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
            if (!prepared) {
                return Error { prepared.error() };
            }
            insertReading.emplace(std::move(*prepared));
            for (int e = 0; e < EngineCount; ++e) {
                const QString name = QLatin1String(engineInfo(e).name);
                engines.append(name);
                hosts.append(QStringLiteral("www.%1.com").arg(name));
                blockedHosts.append(QStringLiteral("verify.%1.com").arg(name));
            }
        }
        for (int day = 0; day < days; ++day) {
            const QDate date = firstDay.addDays(day);
            const QString searchTime = date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 09:30:00");
            const qint64 fetchedBase = QDateTime(date, QTime(9, 29)).toSecsSinceEpoch();
            for (int d = 0; d < domains; ++d) {
                std::array<GeneratedReading, EngineCount> day7 {};
                std::array<qint64, EngineCount> counts {};
                for (int e = 0; e < EngineCount; ++e) {
                    if (withReadings) {
                        day7[static_cast<size_t>(e)] = generated(d, day, e);
                        counts[static_cast<size_t>(e)] = day7[static_cast<size_t>(e)].count;
                    } else {
                        counts[static_cast<size_t>(e)] = count(d, day, e);
                    }
                }
                insert->reset();
                Result<void> bound = insert->bindAll(names[d], counts[0], counts[1], counts[2], counts[3], counts[4],
                    counts[5], counts[6], date.year(), date.month(), date.day(), searchTime);
                if (bound) {
                    bound = insert->run();
                }
                if (!bound) {
                    return bound;
                }
                if (!withReadings) {
                    continue;
                }
                const qint64 rowId = db.lastInsertId();
                for (int e = 0; e < EngineCount; ++e) {
                    const GeneratedReading& r = day7[static_cast<size_t>(e)];
                    const bool fetched = r.status != ReadingStatus::Failed;
                    insertReading->reset();
                    bound = insertReading->bindAll(rowId, engines[e], statusWord(r.status), r.count,
                        std::int64_t { r.httpStatus },
                        fetched ? (r.blockedHost ? blockedHosts[e] : hosts[e]) : QString(),
                        QString::fromLatin1(r.error),
                        r.rule < 0 ? std::int64_t { 0 } : ruleIds[static_cast<size_t>(r.rule)],
                        fetchedBase + (d % 60) + e);
                    if (bound) {
                        bound = insertReading->run();
                    }
                    if (!bound) {
                        return bound;
                    }
                }
            }
        }
        return {};
    });
    const QByteArray restore = "PRAGMA cache_size = " + QByteArray::number(*cache);
    if (auto restored = db.exec(restore.constData()); !restored && filled) {
        return restored;
    }
    return filled;
}

} // namespace shoulu::test
