#pragma once

#include "store/ResultRow.h"

#include <QColor>
#include <QTableWidget>

#include <vector>

class QMenu;

namespace shoulu {

class EngineCatalogue;

// The history list: one text-only line per result row, numbered from 1 per refresh.
//     list.setCatalogue(catalogue); list.clearRows(); list.appendRows(rows);
// Emits selectItem for every row whose selected state changes, the deselected one first.
class HistoryList : public QTableWidget
{
    Q_OBJECT

public:
    // ColumnCount: the columns every list has; switched-on engines beyond the seven follow.
    enum Column { NumberColumn = 0, DomainColumn = 1, DateColumn = 2, FirstCountColumn = 3, ColumnCount = 10 };

    // Cells whose reading gives no figure to trust.
    static QColor mutedColour() { return QColor(128, 128, 128); }

    // Starts with the built-in catalogue.
    explicit HistoryList(QWidget* parent = nullptr);

    // The engines whose readings the cells show; empties the list.
    void setCatalogue(const EngineCatalogue& catalogue);

    // Removes every line without reporting a selection change. False when that failed.
    bool clearRows();
    void appendRows(const std::vector<ResultRow>& rows);

    QString domainAt(int row) const;
    // The rows shown, top first.
    const std::vector<ResultRow>& shownRows() const { return m_rows; }

Q_SIGNALS:
    void selectItem(const QString& domain, bool selected);
    // The context menu's "查看网页" on a cell with a reading, and "重新识别" on a row.
    void pageRequested(const QString& domain, const QString& engine, qint64 fetchedAt);
    void rereadRequested(const QString& domain);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct EngineColumn
    {
        QString key;
        int stored; // position among the stored counts; -1 when the figure lives in readings only
    };

    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void setUpColumn(int column, const QString& caption);
    QTableWidgetItem* countItem(const ResultRow& row, const EngineColumn& engine) const;
    void addArchiveActions(QMenu& menu, const QModelIndex& cell);

    std::vector<ResultRow> m_rows;
    std::vector<EngineColumn> m_engines; // column FirstCountColumn + i shows m_engines[i]
    bool m_clearing = false;
};

} // namespace shoulu
