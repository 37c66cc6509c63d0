#include "ui/HistoryList.h"

#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>

#include <exception>
#include <set>

namespace shoulu {

namespace {

constexpr int RowHeight = 20;
// A count cell's data: when its reading's page was fetched, seconds since the epoch.
constexpr int FetchedAtRole = Qt::UserRole + 1;

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

// Why a cell holds a word rather than a figure: whatever the reading recorded.
QString whyText(const Reading& reading)
{
    QStringList lines { statusCaption(reading.status) };
    if (reading.httpStatus != 0) {
        lines.append(QStringLiteral("HTTP 状态：%1").arg(reading.httpStatus));
    }
    if (!reading.finalHost.isEmpty()) {
        lines.append(QStringLiteral("最终主机：") + reading.finalHost);
    }
    if (!reading.error.isEmpty()) {
        lines.append(QStringLiteral("原因：") + reading.error);
    }
    if (!reading.rule.isEmpty()) {
        lines.append(QStringLiteral("规则：") + reading.rule);
    }
    if (reading.fetchedAt.isValid()) {
        lines.append(QStringLiteral("时间：")
            + QLocale::system().toString(reading.fetchedAt.toLocalTime(), QLocale::ShortFormat));
    }
    return lines.join(QLatin1Char('\n'));
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
    setCatalogue(EngineCatalogue::builtIn());

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &HistoryList::onSelectionChanged);
}

void HistoryList::setCatalogue(const EngineCatalogue& catalogue)
{
    clearRows();
    m_engines.assign(EngineCount, EngineColumn {});
    QStringList extraCaptions;
    for (const CatalogueEngine& engine : catalogue.engines()) {
        if (engine.column >= 0 && engine.column < EngineCount) {
            m_engines[engine.column] = { engine.key, engine.column };
        } else if (engine.enabled) {
            m_engines.push_back({ engine.key, -1 });
            extraCaptions.append(engine.caption);
        }
    }
    setColumnCount(ColumnCount + static_cast<int>(extraCaptions.size()));
    for (int column = 0; column < columnCount(); ++column) {
        setUpColumn(column, column < ColumnCount ? columnCaption(column) : extraCaptions[column - ColumnCount]);
    }
}

void HistoryList::setUpColumn(int column, const QString& caption)
{
    auto* item = new QTableWidgetItem(caption);
    item->setTextAlignment(columnAlignment(column));
    setHorizontalHeaderItem(column, item);
    QHeaderView* header = horizontalHeader();
    if (initialWidth(column) == 0) {
        header->setSectionResizeMode(column, QHeaderView::Stretch);
    } else {
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        header->resizeSection(column, initialWidth(column));
    }
}

bool HistoryList::clearRows()
{
    m_clearing = true;
    bool ok = true;
    try {
        clearSelection();
        setRowCount(0);
        m_rows.clear();
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
    m_rows.insert(m_rows.end(), rows.begin(), rows.end());
    int number = 1;
    for (const ResultRow& result : rows) {
        const QStringList texts { QString::number(number), result.domain,
            locale.toString(result.searchTime.date(), QLocale::ShortFormat) };
        for (int column = 0; column < columnCount(); ++column) {
            QTableWidgetItem* item = column < FirstCountColumn
                ? new QTableWidgetItem(texts[column])
                : countItem(result, m_engines[column - FirstCountColumn]);
            if (column >= FirstCountColumn) {
                const Reading* reading = result.readingOf(m_engines[column - FirstCountColumn].key);
                if (reading != nullptr && reading->fetchedAt.isValid()) {
                    item->setData(FetchedAtRole, reading->fetchedAt.toSecsSinceEpoch());
                }
            }
            item->setTextAlignment(columnAlignment(column));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            setItem(row, column, item);
        }
        ++row;
        ++number;
    }
}

QTableWidgetItem* HistoryList::countItem(const ResultRow& row, const EngineColumn& engine) const
{
    if (row.readings.isEmpty()) {
        // Stored before readings were kept: the bare figure, as it always showed.
        return new QTableWidgetItem(engine.stored >= 0 ? QString::number(row.counts[engine.stored]) : QString());
    }
    Reading off;
    off.status = ReadingStatus::Off;
    off.error = QStringLiteral("该搜索引擎已停用，未被查询");
    const Reading* found = row.readingOf(engine.key);
    const Reading& reading = found != nullptr ? *found : off;
    switch (reading.status) {
    case ReadingStatus::Counted:
        return new QTableWidgetItem(QLocale::system().toString(static_cast<qint64>(reading.count)));
    case ReadingStatus::None:
        return new QTableWidgetItem(QStringLiteral("0"));
    default:
        break;
    }
    auto* item = new QTableWidgetItem(statusCaption(reading.status));
    item->setForeground(mutedColour());
    item->setToolTip(whyText(reading));
    return item;
}

QString HistoryList::domainAt(int row) const
{
    const QTableWidgetItem* cell = item(row, DomainColumn);
    return cell != nullptr ? cell->text() : QString();
}

void HistoryList::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    addArchiveActions(menu, indexAt(viewport()->mapFromGlobal(event->globalPos())));
    if (!actions().isEmpty()) {
        if (!menu.isEmpty()) {
            menu.addSeparator();
        }
        menu.addActions(actions());
    }
    if (!menu.isEmpty()) {
        menu.exec(event->globalPos());
    }
}

void HistoryList::addArchiveActions(QMenu& menu, const QModelIndex& cell)
{
    if (!cell.isValid()) {
        return;
    }
    const QString domain = domainAt(cell.row());
    const QVariant fetchedAt = cell.data(FetchedAtRole);
    QAction* page = menu.addAction(QStringLiteral("查看网页"));
    page->setObjectName(QStringLiteral("viewPage"));
    page->setEnabled(fetchedAt.isValid());
    const QString engine
        = cell.column() >= FirstCountColumn ? m_engines[cell.column() - FirstCountColumn].key : QString();
    connect(page, &QAction::triggered, this,
        [this, domain, engine, fetchedAt] { Q_EMIT pageRequested(domain, engine, fetchedAt.toLongLong()); });
    QAction* reread = menu.addAction(QStringLiteral("重新识别"));
    reread->setObjectName(QStringLiteral("reread"));
    connect(reread, &QAction::triggered, this, [this, domain] { Q_EMIT rereadRequested(domain); });
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
