#pragma once

#include "util/Result.h"

#include <QString>

namespace shoulu {

class HistoryList;
class TrendChart;

// Context-menu entries that take figures out of the window: "导出CSV…" on the history list
// writes the rows it shows in the command line's CSV; "保存图片…" on the chart writes PNG or
// SVG. Each entry asks for a file name, then writes; failures show a message box.
void addCsvExport(HistoryList* list);
void addPictureSave(TrendChart* chart);

// What the entries write once a name is chosen.
Result<void> exportCsv(const HistoryList& list, const QString& path);

} // namespace shoulu
