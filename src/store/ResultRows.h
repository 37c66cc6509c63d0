#pragma once

#include "store/ResultRow.h"
#include "util/EngineCounts.h"
#include "util/Result.h"

#include <QDateTime>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace shoulu {

class Database;
class Statement;

// Table shoulu: insert of one result row and the three history views.
class ResultRows
{
public:
    explicit ResultRows(Database& db);

    // One row: the domain trimmed of characters 0-32, the counts, the date of queryTime
    // split into yyyy/mm/dd, and queryTime as searchtime, with the readings of the engines
    // asked. Committed, all of it, when it returns the new row's id.
    Result<qint64> addshoulu(const QString& domain, const QDateTime& queryTime, const EngineCounts& counts,
        const QList<EngineReading>& readings = {});
    // Puts fresh readings of engines the row already has readings of in their place, with the
    // figures of its engine columns: all of them or none.
    Result<void> replaceReadings(qint64 rowId, const QList<EngineReading>& readings);

    // Newest row (greatest id) of every listed domain that has rows, newest searchtime first.
    Result<std::vector<ResultRow>> latestRows();
    // One row per day of a listed domain, newest first, chosen engine by engine: each engine's
    // newest figure to trust that day (a counted or none reading, or a figure above 0 in a row from
    // before readings were kept), else its newest reading. The row's id and time are those of the
    // newest row its figures came from. The text is used as given (not trimmed), compared without
    // regard to letter case.
    Result<std::vector<ResultRow>> dailyRows(const QString& domain);
    // The newest 30 rows of the daily view, delivered oldest first.
    Result<std::vector<ResultRow>> chartWindow(const QString& domain);

    const QString& filePath() const;

    // Whether the file keeps readings (a read-only file of an older layout does not).
    bool keepsReadings();
    // Whether its readings say why an engine was not asked (a read-only older file does not).
    bool keepsReasons();

private:
    Result<std::vector<ResultRow>> days(const QString& domain, bool newestThirty);
    Result<std::vector<ResultRow>> withReadings(Result<std::vector<ResultRow>> rows);
    Result<qint64> ruleId(const QString& text);
    // Binds ?1 row id, ?2 engine and ?3..?10 the reading, as the reading statements number them.
    Result<void> bindReading(Statement& statement, qint64 rowId, const EngineReading& reading);

    Database& m_db;
    std::optional<bool> m_keepsReadings;
    std::optional<bool> m_keepsReasons;
    std::map<QString, qint64> m_ruleIds; // reading_rule ids already stored
};

// The row addshoulu stored under `id` from the same values, as the views would read it back.
ResultRow storedRow(qint64 id, const QString& domain, const QDateTime& queryTime, const EngineCounts& counts,
    const QList<EngineReading>& readings);

} // namespace shoulu
