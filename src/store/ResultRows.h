#pragma once

#include "store/ResultRow.h"
#include "util/EngineCounts.h"
#include "util/Result.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace shoulu {

class Database;

// Table shoulu: insert of one result row and the three history views.
class ResultRows
{
public:
    explicit ResultRows(Database& db);

    // One row: the domain trimmed of characters 0-32, the counts, the date of queryTime
    // split into yyyy/mm/dd, and queryTime as searchtime. Committed when it returns ok.
    Result<void> addshoulu(const QString& domain, const QDateTime& queryTime, const EngineCounts& counts);

    // Newest row (greatest id) of every listed domain that has rows, newest searchtime first.
    Result<std::vector<ResultRow>> latestRows();
    // One row per day (the day's greatest id) of a listed domain, newest first; the text is
    // used as given (not trimmed), compared without regard to letter case.
    Result<std::vector<ResultRow>> dailyRows(const QString& domain);
    // The newest 30 rows of the daily view, delivered oldest first.
    Result<std::vector<ResultRow>> chartWindow(const QString& domain);

private:
    Database& m_db;
};

} // namespace shoulu
