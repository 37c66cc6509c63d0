#pragma once

#include "store/ResultRow.h"

#include <QTableWidget>

#include <vector>

namespace shoulu {

// The history list: one text-only line per result row, numbered from 1 per refresh.
//     list.clearRows(); list.appendRows(rows);
// Emits selectItem for every row whose selected state changes, the deselected one first.
class HistoryList : public QTableWidget
{
    Q_OBJECT

public:
    enum Column { NumberColumn = 0, DomainColumn = 1, DateColumn = 2, FirstCountColumn = 3, ColumnCount = 10 };

    explicit HistoryList(QWidget* parent = nullptr);

    // Removes every line without reporting a selection change. False when that failed.
    bool clearRows();
    void appendRows(const std::vector<ResultRow>& rows);

    QString domainAt(int row) const;

Q_SIGNALS:
    void selectItem(const QString& domain, bool selected);

private:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);

    bool m_clearing = false;
};

} // namespace shoulu
