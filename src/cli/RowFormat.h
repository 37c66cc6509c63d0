#pragma once

#include "store/ResultRow.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace shoulu {
class EngineCatalogue;
}

namespace shoulu::cli {

// How commands print result rows: an aligned table for people, CSV and JSON for scripts.
enum class RowFormat { Table, Csv, Json };

// "table", "csv" or "json"; nothing for any other text.
std::optional<RowFormat> rowFormatFromName(const QString& name);

// The rows in their given order, each format ending with a line break. CSV columns begin with
// domain,date,baidu,google,soso,yahoo,sogou,youdao,bing, then one per engine beyond the seven
// that the rows hold readings of; with `withStatus` one KEY_status column per engine follows
// (empty for rows stored before readings were kept). A text cell that a spreadsheet would run as
// a formula is written with a leading apostrophe. JSON rows that carry readings gain "status"
// {KEY: WORD} for every engine and, for engines beyond the seven, "counts". The table shows a
// status word where a reading gave no figure.
QString formatRows(const std::vector<ResultRow>& rows, RowFormat format, bool withStatus = false);

// The engines beyond the seven that the rows hold readings of, in the order first met; or those
// the catalogue asks.
QStringList extraEngines(const std::vector<ResultRow>& rows);
QStringList extraEngines(const EngineCatalogue& catalogue);

// The CSV header line, and one row's CSV line, as formatRows writes them: for rows printed one
// at a time, with the extra engines' columns fixed beforehand.
QString csvHeader(bool withStatus, const QStringList& extras = {});
QString csvLine(const ResultRow& row, bool withStatus, const QStringList& extras = {});

// The status word of an engine's reading in a row: empty for a row without readings, "off"
// for an engine the row's query did not ask.
QString statusOf(const ResultRow& row, const QString& engine);

// YYYY-MM-DD of the row's query time (its stored day when the time is unreadable).
QString rowDate(const ResultRow& row);

// Terminal columns a text takes: East Asian wide characters take two.
int displayWidth(const QString& text);

} // namespace shoulu::cli
