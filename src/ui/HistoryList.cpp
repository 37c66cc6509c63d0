#include "ui/HistoryList.h"

#include "engines/EngineTable.h"

#include <QHeaderView>
#include <QLocale>

#include <exception>
#include <set>

namespace shoulu {

namespace {

constexpr int RowHeight = 20;

QString columnCaption(int column)
{
    switch (column) {
    case HistoryList::NumberColumn:
        return QStringLiteral("序号");
    case HistoryList::DomainColumn:
        return QStringLiteral("域名");
    case HistoryList::DateColumn:
        return QStringLiteral("查询日期");
    default:
        return QString::fromUtf8(engineInfo(column - HistoryList::FirstCountColumn).caption);
    }
}

// 0: the column takes the width the others leave.
int initialWidth(int column)
{
    switch (column) {
    case HistoryList::NumberColumn:
        return 50;
    case HistoryList::DomainColumn:
        return 0;
    case HistoryList::DateColumn:
        return 100;
    case HistoryList::FirstCountColumn:
        return 80;
    default:
        return 70;
    }
}

Qt::Alignment columnAlignment(int column)
{
    return (column == HistoryList::NumberColumn ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter;
}

} // namespace

HistoryList::HistoryList(QWidget* parent)
    : QTableWidget(0, ColumnCount, parent)
{
    setObjectName(QStringLiteral("lv1"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    setShowGrid(false); // switched on at start-up
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setIconSize(QSize(0, 0));

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(RowHeight);
    verticalHeader()->setMinimumSectionSize(RowHeight);

    QHeaderView* header = horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setSortIndicatorShown(false);
    header->setHighlightSections(false);
    header->setMinimumSectionSize(20);
    for (int column = 0; column < ColumnCount; ++column) {
        auto* item = new QTableWidgetItem(columnCaption(column));
        item->setTextAlignment(columnAlignment(column));
        setHorizontalHeaderItem(column, item);
        if (initialWidth(column) == 0) {
            header->setSectionResizeMode(column, QHeaderView::Stretch);
        } else {
            header->setSectionResizeMode(column, QHeaderView::Fixed);
            header->resizeSection(column, initialWidth(column));
        }
    }

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &HistoryList::onSelectionChanged);
}

bool HistoryList::clearRows()
{
    m_clearing = true;
    bool ok = true;
    try {
        clearSelection();
        setRowCount(0);
    } catch (const std::exception&) {
        ok = false;
    }
    m_clearing = false;
    return ok;
}

void HistoryList::appendRows(const std::vector<ResultRow>& rows)
{
    const QLocale locale = QLocale::system();
    int row = rowCount();
    setRowCount(row + static_cast<int>(rows.size()));
    int number = 1;
    for (const ResultRow& result : rows) {
        QStringList texts { QString::number(number), result.domain,
            locale.toString(result.searchTime.date(), QLocale::ShortFormat) };
        for (const Count count : result.counts) {
            texts.append(QString::number(count));
        }
        for (int column = 0; column < ColumnCount; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            item->setTextAlignment(columnAlignment(column));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            setItem(row, column, item);
        }
        ++row;
        ++number;
    }
}

QString HistoryList::domainAt(int row) const
{
    const QTableWidgetItem* cell = item(row, DomainColumn);
    return cell != nullptr ? cell->text() : QString();
}

void HistoryList::onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    if (m_clearing) {
        return;
    }
    const auto rowsOf = [](const QItemSelection& selection) {
        std::set<int> rows;
        for (const QModelIndex& index : selection.indexes()) {
            rows.insert(index.row());
        }
        return rows;
    };
    for (const int row : rowsOf(deselected)) {
        Q_EMIT selectItem(domainAt(row), false);
    }
    for (const int row : rowsOf(selected)) {
        Q_EMIT selectItem(domainAt(row), true);
    }
}

} // namespace shoulu
