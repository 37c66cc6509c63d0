#include "store/ResultRows.h"

#include "engines/EngineTable.h"
#include "store/Database.h"
#include "store/DomainList.h"
#include "store/SearchTime.h"
#include "store/TextPool.h"
#include "store/Transaction.h"

#include <QByteArrayList>

#include <algorithm>
#include <string>

namespace shoulu {

namespace {

// The engines' columns, in column order, as the engine catalogue names them: "baidu, google, ...".
QByteArray engineColumnList()
{
    QByteArrayList names;
    for (int i = 0; i < EngineCount; ++i) {
        names.append(engineInfo(i).name);
    }
    return names.join(", ");
}

struct Statements
{
    QByteArray latestRows;
    QByteArray insertRow;
    // The candidate rows of the days; [with readings][newest thirty days only].
    QByteArray days[2][2];
};

// The rows a day's figures may come from, grouped by day, newest first within it. A day of one
// row is that row, and most days have one; of a day of several, every row whose reading of some
// engine is the newest of its kind that day (a figure to trust, or any), every row from before
// readings were kept (their figures above 0 count as trusted), and the day's newest row.
QByteArray dayCandidates(const QByteArray& columns, bool withReadings, bool newestThirty)
{
    QByteArray sql = "SELECT " + columns
        + " FROM (SELECT yyyy AS y, mm AS m, dd AS d, max(id) AS last, count(*) AS n FROM shoulu"
          " WHERE domain = ?1 GROUP BY yyyy, mm, dd";
    if (newestThirty) {
        // yyyy/mm/dd is the date of searchtime: the newest 30 days are the latest 30 groups.
        sql += " ORDER BY yyyy DESC, mm DESC, dd DESC LIMIT 30";
    }
    sql += ") g JOIN shoulu s ON s.domain = ?1 AND s.yyyy IS g.y AND s.mm IS g.m AND s.dd IS g.d"
           " WHERE (s.id = g.last OR g.n > 1";
    if (withReadings) {
        // A row with a reading no newer row of the day has of the same kind (to trust or not).
        sql += " AND (NOT EXISTS (SELECT 1 FROM reading r WHERE r.shoulu_id = s.id)"
               " OR EXISTS (SELECT 1 FROM reading r WHERE r.shoulu_id = s.id AND NOT EXISTS ("
               " SELECT 1 FROM shoulu t JOIN reading q ON q.shoulu_id = t.id AND q.engine = r.engine"
               " WHERE t.domain = ?1 AND t.yyyy IS g.y AND t.mm IS g.m AND t.dd IS g.d AND t.id > s.id"
               " AND (q.status IN ('counted', 'none')) = (r.status IN ('counted', 'none')))))";
    }
    // Every row taken equals the text in some letter case, so a row's domain is listed exactly
    // when the text is: one look-up instead of one per row.
    sql += ") AND EXISTS (SELECT 1 FROM domain WHERE domain = ?1) ORDER BY g.y DESC, g.m DESC, g.d DESC, s.id DESC";
    return sql;
}

const Statements& statements()
{
    static const Statements built = [] {
        const QByteArray columns = "id, domain, " + engineColumnList() + ", yyyy, mm, dd, searchtime";
        Statements s;
        // A listed domain's rows are those whose domain equals it in any letter case, so its newest
        // row is one seek into (domain, id) per listed domain instead of a grouping of the whole table.
        s.latestRows = "SELECT " + columns
            + " FROM shoulu WHERE id IN ("
              " SELECT (SELECT max(s.id) FROM shoulu s WHERE s.domain = l.domain) FROM domain l)"
              " ORDER BY searchtime DESC, id DESC";
        for (const bool withReadings : { false, true }) {
            for (const bool newestThirty : { false, true }) {
                s.days[withReadings][newestThirty] = dayCandidates(columns, withReadings, newestThirty);
            }
        }
        s.insertRow = "INSERT INTO shoulu (domain, " + engineColumnList()
            + ", yyyy, mm, dd, searchtime) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)";
        return s;
    }();
    return built;
}

Result<std::vector<ResultRow>> readRows(Statement& statement)
{
    std::vector<ResultRow> rows;
    std::string lastSearchTime;
    QDateTime lastParsed;
    for (;;) {
        auto more = statement.step();
        if (!more) {
            return more.failure();
        }
        if (!*more) {
            return rows;
        }
        ResultRow& row = rows.emplace_back();
        row.id = statement.int64At(0);
        row.domain = statement.textAt(1);
        for (int engine = 0; engine < EngineCount; ++engine) {
            row.counts[static_cast<size_t>(engine)] = statement.int64At(2 + engine);
        }
        row.yyyy = static_cast<int>(statement.int64At(9));
        row.mm = static_cast<int>(statement.int64At(10));
        row.dd = static_cast<int>(statement.int64At(11));
        // Rows of one batch share their time: parse it once.
        const std::string_view searchTime = statement.utf8At(12);
        if (searchTime != lastSearchTime) {
            lastSearchTime.assign(searchTime);
            lastParsed = parseSearchTime(searchTime);
        }
        row.searchTime = lastParsed;
    }
}

// Where a reading goes among a row's: the engines' column order, the other keys after them.
int rankOf(const QString& key)
{
    const int column = engineIndexFromText(key);
    return column >= 0 && key.size() > 1 ? column : EngineCount;
}

// The rule ids are resolved by a look-up of their own, once per distinct id, not once per reading.
// A read-only file of an older layout has no reason column: its readings are read without it.
const char* const ReadingsOfRow[2] = {
    "SELECT engine, status, count, http_status, final_host, error, rule_id, fetched_at"
    " FROM reading WHERE shoulu_id = ?1",
    "SELECT engine, status, count, http_status, final_host, error, rule_id, fetched_at, reason"
    " FROM reading WHERE shoulu_id = ?1",
};

// Rows stored before the reason had a column of its own marked a cool-down skip by its text.
ReadingReason reasonOf(const Reading& r, std::string_view stored)
{
    if (!stored.empty()) {
        return reasonFromWord(utf8Text(stored));
    }
    const bool oldCoolingMark
        = r.status == ReadingStatus::Blocked && !r.fetchedAt.isValid() && r.error == coolingErrorText();
    return oldCoolingMark ? ReadingReason::Cooling : ReadingReason::None;
}

Result<void> attachReadings(Database& db, std::vector<ResultRow>& rows, bool withReason)
{
    auto statement = db.prepare(ReadingsOfRow[withReason ? 1 : 0]);
    if (!statement) {
        return statement.failure();
    }
    auto ruleText = db.prepare("SELECT text FROM reading_rule WHERE id = ?1");
    if (!ruleText) {
        return ruleText.failure();
    }
    TextPool engines;
    TextPool statuses;
    TextPool hosts;
    TextPool errors;
    std::vector<int> engineRanks; // by entry of `engines`
    std::vector<ReadingStatus> statusOf; // by entry of `statuses`
    std::map<qint64, QString> rules;
    std::vector<int> ranks; // of the current row's readings
    qint64 lastFetched = 0;
    QDateTime lastFetchedAt;
    for (ResultRow& row : rows) {
        row.readings.reserve(EngineCount);
        statement->reset();
        if (auto bound = statement->bind(1, std::int64_t { row.id }); !bound) {
            return bound;
        }
        ranks.clear();
        for (;;) {
            auto more = statement->step();
            if (!more) {
                return more.failure();
            }
            if (!*more) {
                break;
            }
            EngineReading& stored = row.readings.emplace_back();
            const std::string_view key = statement->utf8At(0);
            if (const int entry = engines.find(key); entry >= 0) {
                if (static_cast<size_t>(entry) == engineRanks.size()) {
                    engineRanks.push_back(rankOf(engines.at(entry)));
                }
                stored.engine = engines.at(entry);
                ranks.push_back(engineRanks[static_cast<size_t>(entry)]);
            } else {
                stored.engine = utf8Text(key);
                ranks.push_back(rankOf(stored.engine));
            }
            Reading& r = stored.reading;
            const std::string_view word = statement->utf8At(1);
            if (const int entry = statuses.find(word); entry >= 0) {
                if (static_cast<size_t>(entry) == statusOf.size()) {
                    statusOf.push_back(statusFromWord(statuses.at(entry)).value_or(ReadingStatus::Failed));
                }
                r.status = statusOf[static_cast<size_t>(entry)];
            } else {
                r.status = statusFromWord(utf8Text(word)).value_or(ReadingStatus::Failed);
            }
            r.count = statement->int64At(2);
            r.httpStatus = int(statement->int64At(3));
            r.finalHost = hosts.text(statement->utf8At(4));
            r.error = errors.text(statement->utf8At(5));
            const qint64 rule = statement->int64At(6);
            auto known = rules.find(rule);
            if (known == rules.end()) {
                ruleText->reset();
                if (auto bound = ruleText->bind(1, std::int64_t { rule }); !bound) {
                    return bound;
                }
                auto found = ruleText->step();
                if (!found) {
                    return found.failure();
                }
                known = rules.emplace(rule, *found ? ruleText->textAt(0) : QString()).first;
            }
            r.rule = known->second;
            const qint64 fetched = statement->int64At(7);
            if (fetched > 0) {
                if (fetched != lastFetched) {
                    lastFetched = fetched;
                    lastFetchedAt = localFromEpoch(fetched);
                }
                r.fetchedAt = lastFetchedAt;
            }
            r.reason = reasonOf(r, withReason ? statement->utf8At(8) : std::string_view());
        }
        // Stable, by rank: a handful of readings.
        for (size_t i = 1; i < ranks.size(); ++i) {
            for (size_t j = i; j > 0 && ranks[j - 1] > ranks[j]; --j) {
                std::swap(ranks[j - 1], ranks[j]);
                row.readings.swapItemsAt(static_cast<qsizetype>(j - 1), static_cast<qsizetype>(j));
            }
        }
    }
    return {};
}

// A view's statements read one snapshot and take the file's read lock once, not at every
// look-up of a row's readings. A savepoint, so that a view inside a caller's transaction works.
class ReadSnapshot
{
public:
    explicit ReadSnapshot(Database& db)
        : m_db(db)
        , m_open(db.exec("SAVEPOINT view").ok())
    { }
    ~ReadSnapshot()
    {
        if (m_open) {
            (void)m_db.exec("RELEASE view");
        }
    }
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

private:
    Database& m_db;
    bool m_open;
};

Result<std::vector<ResultRow>> query(Database& db, const char* sql, const QString* domain)
{
    auto statement = db.prepare(sql);
    if (!statement) {
        return statement.failure();
    }
    if (domain != nullptr) {
        if (auto bound = statement->bind(1, *domain); !bound) {
            return bound.failure();
        }
    }
    return readRows(*statement);
}

bool sameDay(const ResultRow& a, const ResultRow& b)
{
    return a.yyyy == b.yyyy && a.mm == b.mm && a.dd == b.dd;
}

// The row of one engine a day's figure comes from: its newest figure to trust, else its newest
// reading; null when the day has neither. `column` is the engine's count column, or -1.
const ResultRow* sourceOf(const ResultRow* first, const ResultRow* last, const QString& engine, int column)
{
    const ResultRow* newestReading = nullptr;
    for (const ResultRow* row = first; row != last; ++row) {
        if (const Reading* reading = row->readingOf(engine)) {
            if (isTrustworthy(reading->status)) {
                return row;
            }
            if (newestReading == nullptr) {
                newestReading = row;
            }
        } else if (column >= 0 && row->readings.isEmpty() && row->counts[static_cast<size_t>(column)] > 0) {
            return row;
        }
    }
    return newestReading;
}

// One row for a day of several, engine by engine; its id and time are those of the newest row
// any of its figures came from.
ResultRow composeDay(const ResultRow* first, const ResultRow* last)
{
    ResultRow day = *first;
    day.readings.clear();
    const ResultRow* newestSource = nullptr;
    const auto take = [&](const QString& engine, int column) {
        const ResultRow* found = sourceOf(first, last, engine, column);
        const ResultRow* source = found != nullptr ? found : first;
        if (column >= 0) {
            day.counts[static_cast<size_t>(column)] = source->counts[static_cast<size_t>(column)];
        }
        if (const Reading* reading = source->readingOf(engine)) {
            day.readings.append({ engine, *reading });
        }
        if (found != nullptr && (newestSource == nullptr || found->id > newestSource->id)) {
            newestSource = found;
        }
    };
    QStringList others;
    for (const ResultRow* row = first; row != last; ++row) {
        for (const EngineReading& each : row->readings) {
            if (rankOf(each.engine) >= EngineCount && !others.contains(each.engine)) {
                others.append(each.engine);
            }
        }
    }
    for (int column = 0; column < EngineCount; ++column) {
        take(QLatin1String(engineInfo(column).name), column);
    }
    for (const QString& engine : others) {
        take(engine, -1);
    }
    if (newestSource != nullptr) {
        day.id = newestSource->id;
        day.searchTime = newestSource->searchTime;
    }
    return day;
}

// The candidates come grouped by day, newest day first; `oldestFirst` turns the days around.
std::vector<ResultRow> composeDays(const std::vector<ResultRow>& candidates, bool oldestFirst)
{
    std::vector<ResultRow> days;
    for (size_t from = 0; from < candidates.size();) {
        size_t to = from + 1;
        while (to < candidates.size() && sameDay(candidates[from], candidates[to])) {
            ++to;
        }
        if (to - from == 1) {
            days.push_back(candidates[from]);
        } else {
            days.push_back(composeDay(candidates.data() + from, candidates.data() + to));
        }
        from = to;
    }
    if (oldestFirst) {
        std::reverse(days.begin(), days.end());
    }
    return days;
}

} // namespace

ResultRows::ResultRows(Database& db)
    : m_db(db)
{ }

const QString& ResultRows::filePath() const
{
    return m_db.path();
}

bool ResultRows::keepsReadings()
{
    if (!m_keepsReadings) {
        auto found
            = m_db.oneValue<std::int64_t>("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'reading'");
        // A file that cannot say keeps none: its views read as they always did.
        m_keepsReadings = found && found->has_value();
    }
    return *m_keepsReadings;
}

bool ResultRows::keepsReasons()
{
    if (!m_keepsReasons) {
        auto statement = m_db.prepare("SELECT 1 FROM pragma_table_info('reading') WHERE name = 'reason'");
        auto found = statement ? statement->step() : Result<bool>(statement.failure());
        m_keepsReasons = found && *found;
    }
    return *m_keepsReasons;
}

Result<std::vector<ResultRow>> ResultRows::withReadings(Result<std::vector<ResultRow>> rows)
{
    if (rows && keepsReadings()) {
        if (auto attached = attachReadings(m_db, rows.value(), keepsReasons()); !attached) {
            return attached.failure();
        }
    }
    return rows;
}

Result<qint64> ResultRows::ruleId(const QString& text)
{
    if (auto known = m_ruleIds.find(text); known != m_ruleIds.end()) {
        return known->second;
    }
    auto insert = m_db.prepare("INSERT OR IGNORE INTO reading_rule (text) VALUES (?1)");
    if (!insert) {
        return insert.failure();
    }
    if (auto bound = insert->bind(1, text); !bound) {
        return bound.failure();
    }
    if (auto ran = insert->run(); !ran) {
        return ran.failure();
    }
    auto row = m_db.oneValue<std::int64_t>("SELECT id FROM reading_rule WHERE text = ?1", text);
    if (!row || !*row) {
        return row ? Error { QStringLiteral("a reading rule was not stored") } : row.failure();
    }
    const qint64 id = **row;
    m_ruleIds.emplace(text, id);
    return id;
}

Result<void> ResultRows::bindReading(Statement& statement, qint64 rowId, const EngineReading& reading)
{
    const Reading& r = reading.reading;
    std::int64_t rule = 0;
    if (!r.rule.isEmpty()) {
        auto id = ruleId(r.rule);
        if (!id) {
            return id.failure();
        }
        rule = *id;
    }
    statement.reset();
    if (auto bound = statement.bindAll(std::int64_t { rowId }, reading.engine, statusWord(r.status),
            std::int64_t { r.count }, std::int64_t { r.httpStatus }, r.finalHost, r.error, rule,
            std::int64_t { r.fetchedAt.isValid() ? r.fetchedAt.toSecsSinceEpoch() : 0 });
        !bound) {
        return bound;
    }
    // NULL for a reading whose engine was asked.
    return r.reason == ReadingReason::None ? statement.bind(10, QByteArray())
                                           : statement.bind(10, reasonWord(r.reason));
}

Result<qint64> ResultRows::addshoulu(
    const QString& domain, const QDateTime& queryTime, const EngineCounts& counts, const QList<EngineReading>& readings)
{
    const QString trimmed = trimControlAndBlank(domain);
    if (trimmed.isEmpty()) {
        return Error { QStringLiteral("no result stored: the domain is empty") };
    }
    if (!queryTime.isValid()) {
        return Error { QStringLiteral("no result stored for %1: the query time is not valid").arg(trimmed) };
    }
    const QDateTime local = queryTime.toLocalTime();
    auto statement = m_db.prepare(statements().insertRow.constData());
    if (!statement) {
        return statement.failure();
    }
    const QDate date = local.date();
    static_assert(EngineCount == 7, "one bound count per engine column");
    if (auto bound = statement->bindAll(trimmed, counts[0], counts[1], counts[2], counts[3], counts[4], counts[5],
            counts[6], std::int64_t { date.year() }, std::int64_t { date.month() }, std::int64_t { date.day() },
            formatSearchTime(local));
        !bound) {
        return bound.failure();
    }
    if (readings.isEmpty() || !keepsReadings()) {
        // Outside a transaction the insert commits by itself before run() returns.
        if (auto ran = statement->run(); !ran) {
            return ran.failure();
        }
        return m_db.lastInsertId();
    }
    // The row and its readings are one: stored together or not at all.
    qint64 rowId = 0;
    auto stored = inTransaction(m_db, [&]() -> Result<void> {
        if (auto ran = statement->run(); !ran) {
            return ran;
        }
        rowId = m_db.lastInsertId();
        auto insert
            = m_db.prepare("INSERT INTO reading (shoulu_id, engine, status, count, http_status, final_host,"
                           " error, rule_id, fetched_at, reason) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
        if (!insert) {
            return insert.failure();
        }
        for (const EngineReading& each : readings) {
            if (auto bound = bindReading(*insert, rowId, each); !bound) {
                return bound;
            }
            if (auto ran = insert->run(); !ran) {
                return ran;
            }
        }
        return {};
    });
    if (!stored) {
        m_ruleIds.clear(); // rolled back: ids handed out inside may be gone
        return stored.failure();
    }
    return rowId;
}

Result<void> ResultRows::replaceReadings(qint64 rowId, const QList<EngineReading>& readings)
{
    if (!keepsReadings()) {
        return Error { QStringLiteral("row %1: this file keeps no readings to replace").arg(rowId) };
    }
    auto replaced = inTransaction(m_db, [&]() -> Result<void> {
        auto update = m_db.prepare("UPDATE reading SET status = ?3, count = ?4, http_status = ?5, final_host = ?6,"
                                   " error = ?7, rule_id = ?8, fetched_at = ?9, reason = ?10"
                                   " WHERE shoulu_id = ?1 AND engine = ?2");
        if (!update) {
            return update.failure();
        }
        for (const EngineReading& each : readings) {
            if (auto bound = bindReading(*update, rowId, each); !bound) {
                return bound;
            }
            if (auto ran = update->run(); !ran) {
                return ran;
            }
            if (m_db.changes() == 0) {
                return Error { QStringLiteral("row %1 has no %2 reading to replace").arg(rowId).arg(each.engine) };
            }
            const int column = rankOf(each.engine);
            if (column >= EngineCount) {
                continue; // an engine beyond the seven columns keeps its figure in its reading only
            }
            // The column name comes from the fixed engine table, never from the reading.
            const QByteArray sql = "UPDATE shoulu SET " + QByteArray(engineInfo(column).name) + " = ?2 WHERE id = ?1";
            auto figure = m_db.prepare(sql.constData());
            if (!figure) {
                return figure.failure();
            }
            if (auto bound = figure->bindAll(std::int64_t { rowId }, std::int64_t { each.reading.count }); !bound) {
                return bound;
            }
            if (auto ran = figure->run(); !ran) {
                return ran;
            }
        }
        return {};
    });
    if (!replaced) {
        m_ruleIds.clear(); // rolled back: ids handed out inside may be gone
    }
    return replaced;
}

ResultRow storedRow(qint64 id, const QString& domain, const QDateTime& queryTime, const EngineCounts& counts,
    const QList<EngineReading>& readings)
{
    ResultRow row;
    row.id = id;
    row.domain = trimControlAndBlank(domain);
    row.counts = counts;
    row.searchTime = queryTime.toLocalTime();
    const QDate date = row.searchTime.date();
    row.yyyy = date.year();
    row.mm = date.month();
    row.dd = date.day();
    row.readings = readings;
    return row;
}

Result<std::vector<ResultRow>> ResultRows::latestRows()
{
    const ReadSnapshot snapshot(m_db);
    return withReadings(query(m_db, statements().latestRows.constData(), nullptr));
}

Result<std::vector<ResultRow>> ResultRows::dailyRows(const QString& domain)
{
    return days(domain, false);
}

Result<std::vector<ResultRow>> ResultRows::chartWindow(const QString& domain)
{
    return days(domain, true);
}

Result<std::vector<ResultRow>> ResultRows::days(const QString& domain, bool newestThirty)
{
    const ReadSnapshot snapshot(m_db);
    const QByteArray& sql = statements().days[keepsReadings()][newestThirty];
    auto candidates = withReadings(query(m_db, sql.constData(), &domain));
    if (!candidates) {
        return candidates;
    }
    return composeDays(*candidates, newestThirty);
}

} // namespace shoulu
