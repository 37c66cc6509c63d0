#pragma once

#include "util/Result.h"

#include <QDate>
#include <QString>

namespace shoulu {
class Database;
}

namespace shoulu::test {

// Fills a prepared database fast, in one transaction: `domains` listed domains, each with one
// result row per day for `days` days from firstDay, stored day by day as batches would.
class HistoryGenerator
{
public:
    enum class Readings {
        Without, // rows as stored before readings were kept
        Seven, // each row with one reading per engine: mostly counted, some none, blocked or failed
    };

    static Result<void> fill(
        Database& db, int domains, int days, QDate firstDay, Readings readings = Readings::Without);
    // The name of generated domain number index (0-based).
    static QString domainName(int index);
    // The count stored for engine on day dayIndex of domain domainIndex; with readings, rows whose
    // reading for the engine is not counted store 0 instead.
    static qint64 count(int domainIndex, int dayIndex, int engine);
};

} // namespace shoulu::test
