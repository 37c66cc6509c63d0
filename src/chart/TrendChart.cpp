#include "chart/TrendChart.h"

#include "engines/EngineTable.h"

#include <QCategoryAxis>
#include <QChart>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLocale>
#include <QResizeEvent>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace shoulu {

namespace {

const QString TitleSuffix = QStringLiteral("最近30日收录量走势图");
const QString NoDataText = QStringLiteral("暂无数据");
const QColor PanelColour(227, 238, 253);
constexpr int BottomBarHeight = 21;
constexpr double TopMarginShare = 0.12;
constexpr double BottomMarginShare = 0.02;
// From the plot's bottom edge down to the dates, where the axis puts its labels; and the
// least room between two neighbouring dates.
constexpr double DateDrop = 4;
constexpr double DateGap = 8;
// The most of the chart's width the legend may take from the plot; what an entry adds to its
// text's height, and what the legend loses to the layout above and below its entries.
constexpr double MaxLegendShare = 0.3;
constexpr double LegendEntryPadding = 9;
constexpr double LegendFramePadding = 35;

struct SeriesLook
{
    QColor colour;
    int width;
};

// Engine order.
const std::array<SeriesLook, EngineCount> Looks { {
    { QColor(0, 0, 255), 2 },
    { QColor(255, 0, 0), 2 },
    { QColor(0, 255, 255), 2 },
    { QColor(0, 255, 64), 1 },
    { QColor(255, 255, 0), 1 },
    { QColor(255, 0, 255), 1 },
    { QColor(0, 0, 0), 1 },
} };

// Which of the dates in these boxes to show: every step-th from the oldest, and the newest in
// place of the last one before it when they would touch; the smallest step at which no two
// neighbours touch.
QList<int> thinnedDates(const QList<QRectF>& boxes)
{
    const int n = static_cast<int>(boxes.size());
    const auto apart = [&](int a, int b) { return boxes[b].left() - boxes[a].right() >= DateGap; };
    for (int step = 1; step < n; ++step) {
        QList<int> picks;
        for (int p = 0; p < n - 1; p += step) {
            picks.append(p);
        }
        if (picks.size() > 1 && !apart(picks.last(), n - 1)) {
            picks.removeLast();
        }
        picks.append(n - 1);
        if (std::adjacent_find(picks.begin(), picks.end(), [&](int a, int b) { return !apart(a, b); }) == picks.end()) {
            return picks;
        }
    }
    return n > 0 ? QList<int> { 0 } : QList<int> {};
}

void hideFromLegend(QChart* chart, QLineSeries* series)
{
    for (QLegendMarker* marker : chart->legend()->markers(series)) {
        marker->setVisible(false);
    }
}

// A line needs two points to be seen; a point alone shows as a dot.
void markLonePoint(QLineSeries* series)
{
    series->setPointsVisible(series->count() == 1);
}

} // namespace

std::optional<Count> plottedFigure(const ResultRow& row, int engine)
{
    if (row.readings.isEmpty()) {
        return row.counts[engine];
    }
    const Reading* reading = row.readingOf(QString::fromLatin1(engineInfo(engine).name));
    if (reading == nullptr || !isTrustworthy(reading->status)) {
        return std::nullopt;
    }
    return reading->status == ReadingStatus::None ? 0 : reading->count;
}

AxisScale niceScale(double low, double high, int maxTicks)
{
    if (low > high) {
        std::swap(low, high);
    }
    if (high == low) {
        // One value, or a flat line: a tenth of it each side keeps the ticks round numbers near
        // it, and a count of zero does not drag in negative ticks.
        const double pad = std::max(1.0, std::abs(low) / 10);
        const bool counts = low >= 0;
        low -= pad;
        high += pad;
        if (counts) {
            low = std::max(low, 0.0);
        }
    }
    maxTicks = std::max(maxTicks, 1);
    const double rawStep = (high - low) / maxTicks;
    double magnitude = std::pow(10.0, std::floor(std::log10(std::max(rawStep, 1.0))));
    // Walk up the 1-2-5 ladder until the rounded-out range fits in maxTicks intervals.
    for (;;) {
        for (const double factor : { 1.0, 2.0, 5.0 }) {
            const double step = factor * magnitude;
            const double min = std::floor(low / step) * step;
            const double max = std::ceil(high / step) * step;
            if ((max - min) / step <= maxTicks + 1e-9) {
                return { min, max, step };
            }
        }
        magnitude *= 10;
    }
}

TrendChart::TrendChart(QWidget* parent)
    : QChartView(parent)
{
    setObjectName(QStringLiteral("Chart1"));
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::NoRubberBand);
    setDragMode(QGraphicsView::NoDrag);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A line of one point reports no area to repaint, so its dot would leave traces behind
    // when the axis moves it.
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setBackgroundBrush(PanelColour);

    QChart* c = chart();
    c->setTitle(TitleSuffix);
    c->setBackgroundBrush(PanelColour);
    c->setBackgroundRoundness(0);
    c->setDropShadowEnabled(false);
    c->setPlotAreaBackgroundVisible(false);
    c->setAnimationOptions(QChart::NoAnimation);
    c->legend()->setAlignment(Qt::AlignRight);

    m_axisX = new QCategoryAxis(c);
    m_axisX->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_axisX->setGridLineVisible(false);
    m_axisX->setRange(0, 1);
    // The axis' own labels keep the room under the plot but are not seen: the axis would cut
    // them to an equal share of its length and drop the one that overhangs the plot's edge.
    // rebuildDateLabels draws them whole.
    m_axisX->setLabelsColor(Qt::transparent);
    m_axisY = new QValueAxis(c);
    m_axisY->setLabelFormat(QStringLiteral("%.0f"));
    // Counts run into the millions: grouped digits read at a glance.
    QLocale numbers = QLocale::system();
    numbers.setNumberOptions(QLocale::DefaultNumberOptions);
    c->setLocale(numbers);
    c->setLocalizeNumbers(true);
    m_axisY->setTickType(QValueAxis::TicksDynamic);
    m_axisY->setTickAnchor(0);
    m_axisY->setTickInterval(1);
    m_axisY->setRange(0, 1);
    c->addAxis(m_axisX, Qt::AlignBottom);
    c->addAxis(m_axisY, Qt::AlignLeft);

    for (int i = 0; i < EngineCount; ++i) {
        auto* s = new QLineSeries(c);
        s->setObjectName(QStringLiteral("Series%1").arg(i + 1));
        s->setName(QString::fromUtf8(engineInfo(i).caption));
        s->setPen(QPen(Looks[i].colour, Looks[i].width));
        s->setPointsVisible(false);
        s->setMarkerSize(Looks[i].width + 3.0);
        s->setPointLabelsVisible(false);
        c->addSeries(s);
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
        s->setVisible(false);
        hideFromLegend(c, s);
        m_series[i] = s;
    }

    m_noData = new QGraphicsSimpleTextItem(NoDataText, c);
    m_noData->setBrush(QColor(128, 128, 128));
    QFont noDataFont = m_noData->font();
    noDataFont.setPointSizeF(noDataFont.pointSizeF() * 1.5);
    m_noData->setFont(noDataFont);
    m_noData->setZValue(10);

    m_strip = new QFrame(this);
    m_strip->setObjectName(QStringLiteral("bsSkinPanel1"));
    for (int i = 0; i < EngineCount; ++i) {
        auto* box = new QCheckBox(QString::fromUtf8(engineInfo(i).caption), m_strip);
        box->setObjectName(QStringLiteral("bsSkinCheckRadioBox%1").arg(i + 1));
        box->setGeometry(21 + 56 * i, 3, 52, 25);
        box->setChecked(i == 0);
        m_boxes[i] = box;
    }
    m_strip->raise();
    layoutChildren();
    // The plot moves with the value axis' label width, and the dates with it.
    connect(c, &QChart::plotAreaChanged, this, &TrendChart::rebuildDateLabels);
    rescaleValueAxis();
}

void TrendChart::clearLines()
{
    removeSegments();
    for (QLineSeries* s : m_series) {
        s->clear();
        markLonePoint(s);
    }
    m_labels.clear();
    chart()->setTitle(TitleSuffix);
    rebuildDateLabels();
    rescaleValueAxis();
}

void TrendChart::draw(const QString& domain, const std::vector<ResultRow>& rows)
{
    // Each engine's line as stretches of consecutive points; a gap starts the next stretch.
    std::array<QList<QList<QPointF>>, EngineCount> stretches;
    std::array<bool, EngineCount> afterGap;
    afterGap.fill(true);
    m_labels.clear();
    for (std::size_t p = 0; p < rows.size(); ++p) {
        const ResultRow& row = rows[p];
        m_labels.append(QLocale::system().toString(row.searchTime.date(), QLocale::ShortFormat));
        for (int i = 0; i < EngineCount; ++i) {
            const std::optional<Count> figure = plottedFigure(row, i);
            if (!figure) {
                afterGap[i] = true;
                continue;
            }
            if (afterGap[i]) {
                stretches[i].append(QList<QPointF> {});
                afterGap[i] = false;
            }
            stretches[i].last().append(QPointF(static_cast<double>(p), static_cast<double>(*figure)));
        }
    }
    removeSegments();
    for (int i = 0; i < EngineCount; ++i) {
        setLine(i, stretches[i]);
    }
    rebuildDateLabels();
    chart()->setTitle(domain + TitleSuffix);
    updateChatline();
}

void TrendChart::setLine(int engine, const QList<QList<QPointF>>& stretches)
{
    QLineSeries* first = m_series[engine];
    first->replace(stretches.value(0));
    markLonePoint(first);
    for (qsizetype k = 1; k < stretches.size(); ++k) {
        auto* s = new QLineSeries(chart());
        s->setPen(first->pen());
        s->setMarkerSize(first->markerSize());
        s->replace(stretches[k]);
        markLonePoint(s);
        chart()->addSeries(s);
        s->attachAxis(m_axisX);
        s->attachAxis(m_axisY);
        s->setVisible(first->isVisible());
        hideFromLegend(chart(), s);
        m_segments[engine].append(s);
    }
}

void TrendChart::removeSegments()
{
    for (QList<QLineSeries*>& segments : m_segments) {
        for (QLineSeries* s : segments) {
            chart()->removeSeries(s);
            delete s;
        }
        segments.clear();
    }
}

QList<QLineSeries*> TrendChart::lines(int engine) const
{
    return QList<QLineSeries*> { m_series.at(engine) } + m_segments.at(engine);
}

void TrendChart::updateChatline()
{
    for (int i = 0; i < EngineCount; ++i) {
        const bool shown = m_boxes[i]->isChecked();
        for (QLineSeries* s : lines(i)) {
            s->setVisible(shown);
        }
        // One legend entry per engine: the named series'.
        for (QLegendMarker* marker : chart()->legend()->markers(m_series[i])) {
            marker->setVisible(shown);
        }
        for (QLineSeries* s : std::as_const(m_segments[i])) {
            hideFromLegend(chart(), s);
        }
    }
    rescaleValueAxis();
    fitLegend();
}

void TrendChart::setBottomBar(QWidget* bar)
{
    m_bottomBar = bar;
    bar->setParent(this);
    setViewportMargins(0, 0, 0, BottomBarHeight);
    fitChartToViewport();
    bar->show();
}

void TrendChart::fitChartToViewport()
{
    // The base class fits the chart to the whole view, under the status bar; fit the viewport.
    chart()->resize(viewport()->size());
    setSceneRect(chart()->geometry());
    layoutChildren();
    fitLegend();
}

QString TrendChart::titleText() const
{
    return chart()->title();
}

void TrendChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    fitChartToViewport();
    rebuildDateLabels();
}

void TrendChart::rescaleValueAxis()
{
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (int i = 0; i < EngineCount; ++i) {
        for (const QLineSeries* s : lines(i)) {
            if (!s->isVisible()) {
                continue;
            }
            for (const QPointF& point : s->points()) {
                low = std::min(low, point.y());
                high = std::max(high, point.y());
            }
        }
    }
    const bool empty = low > high;
    if (empty) {
        low = 0;
        high = 1;
    }
    // A scale of nothing would only look like a count of nothing.
    m_axisY->setLabelsVisible(!empty);
    m_noData->setVisible(empty);
    placeNoData();
    const AxisScale scale = niceScale(low, high);
    // Each change lays the axis out at once: a small interval over a wide range, even for a
    // moment, means millions of ticks. Change in the order that never gets there.
    if (scale.step >= m_axisY->tickInterval()) {
        m_axisY->setTickInterval(scale.step);
        m_axisY->setTickAnchor(scale.min);
        m_axisY->setRange(scale.min, scale.max);
    } else {
        m_axisY->setRange(scale.min, scale.max);
        m_axisY->setTickAnchor(scale.min);
        m_axisY->setTickInterval(scale.step);
    }
}

void TrendChart::fitLegend()
{
    QLegend* legend = chart()->legend();
    // The legend stands beside the plot, under the title, and lists its entries from the top:
    // where they do not all fit, none are shown rather than some cut off.
    double titleHeight = 0;
    for (QGraphicsItem* item : chart()->childItems()) {
        if (const auto* title = dynamic_cast<QGraphicsTextItem*>(item); title != nullptr && title->isVisible()) {
            titleHeight = title->boundingRect().height();
        }
    }
    int entries = 0;
    for (const QLineSeries* s : m_series) {
        entries += s->isVisible() ? 1 : 0;
    }
    const QMarginsF margins = chart()->margins();
    const double room = chart()->size().height() - margins.top() - margins.bottom() - titleHeight - LegendFramePadding;
    const double entryHeight = QFontMetricsF(legend->font()).height() + LegendEntryPadding;
    const double widest = std::max(0.0, legend->effectiveSizeHint(Qt::PreferredSize).width());
    const bool fits = entries * entryHeight <= room && widest <= chart()->size().width() * MaxLegendShare;
    if (legend->isVisible() != fits) {
        legend->setVisible(fits);
    }
}

void TrendChart::placeNoData()
{
    const QRectF plot = chart()->plotArea();
    const QRectF box = m_noData->boundingRect();
    m_noData->setPos(plot.center() - box.center());
}

void TrendChart::rebuildDateLabels()
{
    // Changing the axis may lay the chart out again and report the same plot area.
    if (m_placingDates) {
        return;
    }
    m_placingDates = true;
    placeNoData();
    for (const QString& label : m_axisX->categoriesLabels()) {
        m_axisX->remove(label);
    }
    qDeleteAll(m_dateItems);
    m_dateItems.clear();

    const int n = static_cast<int>(m_labels.size());
    // A category needs an end above the start, so the axis starts one position early.
    m_axisX->setStartValue(-1);
    if (n <= 1) {
        m_axisX->setRange(-0.5, 0.5);
    } else {
        m_axisX->setRange(0, n - 1);
    }

    const QRectF plot = chart()->plotArea();
    const double chartWidth = chart()->size().width();
    const QFontMetricsF metrics(m_axisX->labelsFont());
    const double first = m_axisX->min();
    const double span = m_axisX->max() - first;
    QList<QRectF> boxes;
    for (int p = 0; p < n; ++p) {
        const double x = plot.left() + (p - first) / span * plot.width();
        const double width = metrics.horizontalAdvance(m_labels[p]);
        // Under its point, but pushed inward where it would overhang the chart's edge.
        const double left = std::clamp(x - width / 2, 0.0, std::max(0.0, chartWidth - width));
        boxes.append(QRectF(left, plot.bottom() + DateDrop, width, metrics.height()));
    }
    for (const int p : thinnedDates(boxes)) {
        // Equal labels would merge into one category; the category only marks the tick.
        if (!m_axisX->categoriesLabels().contains(m_labels[p])) {
            m_axisX->append(m_labels[p], p);
        }
        auto* item = new QGraphicsSimpleTextItem(m_labels[p], chart());
        item->setFont(m_axisX->labelsFont());
        item->setBrush(m_axisY->labelsBrush());
        item->setPos(boxes[p].topLeft());
        m_dateItems.append(item);
    }
    m_placingDates = false;
}

void TrendChart::layoutChildren()
{
    m_strip->setGeometry(0, 0, width(), StripHeight);
    if (m_bottomBar != nullptr) {
        m_bottomBar->setGeometry(0, height() - BottomBarHeight, width(), BottomBarHeight);
    }
    // Shares of the whole chart, status bar included, not of the viewport above it.
    chart()->setMargins(
        QMargins(0, static_cast<int>(height() * TopMarginShare), 0, static_cast<int>(height() * BottomMarginShare)));
}

} // namespace shoulu
