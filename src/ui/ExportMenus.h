#pragma once

#include "util/Result.h"

#include <QDate>
#include <QString>

namespace shoulu {

class HistoryList;
class TrendChart;

// Context-menu entries that take figures out of the window: "导出CSV…" on the history list
// writes the rows it shows in the command line's CSV, with its status columns unless the user
// unticks them in the dialog; "保存图片…" on the chart writes PNG or SVG. Each entry asks for
// a file name, then writes; failures show a message box.
void addCsvExport(HistoryList* list);
void addPictureSave(TrendChart* chart);

// What the entries write once a name is chosen.
Result<void> exportCsv(const HistoryList& list, const QString& path, bool withStatus);
// The name "导出CSV…" offers: the domain shown (when the list shows one only) and the day.
QString csvFileName(const HistoryList& list, const QDate& day);

} // namespace shoulu
