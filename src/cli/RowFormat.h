#pragma once

#include "store/ResultRow.h"

#include <QString>

#include <optional>
#include <vector>

namespace shoulu::cli {

// How commands print result rows: an aligned table for people, CSV and JSON for scripts.
enum class RowFormat { Table, Csv, Json };

// "table", "csv" or "json"; nothing for any other text.
std::optional<RowFormat> rowFormatFromName(const QString& name);

// The rows in their given order, each format ending with a line break. CSV columns are fixed:
// domain,date,baidu,google,soso,yahoo,sogou,youdao,bing; with `withStatus` one KEY_status
// column per engine follows (empty for rows stored before readings were kept). JSON rows that
// carry readings gain "status" {KEY: WORD} and, for engines beyond the seven, "counts".
// The table shows a status word where a reading gave no figure.
QString formatRows(const std::vector<ResultRow>& rows, RowFormat format, bool withStatus = false);

// The CSV header line, and one row's CSV line, as formatRows writes them: for rows printed one
// at a time.
QString csvHeader(bool withStatus);
QString csvLine(const ResultRow& row, bool withStatus);

// The status word of an engine's reading in a row: empty for a row without readings, "off"
// for an engine the row's query did not ask.
QString statusOf(const ResultRow& row, const QString& engine);

// YYYY-MM-DD of the row's query time (its stored day when the time is unreadable).
QString rowDate(const ResultRow& row);

// Terminal columns a text takes: East Asian wide characters take two.
int displayWidth(const QString& text);

} // namespace shoulu::cli
