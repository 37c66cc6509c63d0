#pragma once

#include "store/ResultRow.h"
#include "util/EngineCounts.h"

#include <QChartView>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

class QCategoryAxis;
class QCheckBox;
class QFrame;
class QGraphicsSimpleTextItem;
class QLineSeries;
class QValueAxis;

namespace shoulu {

// The seven-line trend chart of one domain with its strip of engine check boxes.
//     chart.draw(domain, rows); // rows oldest first; chart.updateChatline() after a box click
// The boxes only show and hide lines: nothing here reads the database. A day without a figure
// to trust is a gap: the line after it goes on in an unnamed series drawn with the same pen.
class TrendChart : public QChartView
{
    Q_OBJECT

public:
    static constexpr int StripHeight = 29;

    explicit TrendChart(QWidget* parent = nullptr);

    // Removes every point and date label and the domain from the title; the visibility stays.
    void clearLines();
    // Plots the rows at x = 0, 1, ... in the order given, names the domain in the title and
    // applies the boxes. No rows empty the lines, so title and lines never disagree.
    void draw(const QString& domain, const std::vector<ResultRow>& rows);
    // Shows the series whose box is ticked, hides the others (and their legend entries).
    void updateChatline();

    // Placed under the plot, across the chart's full width; the chart takes ownership.
    void setBottomBar(QWidget* bar);

    // The engine's first stretch of line, up to its first gap.
    QLineSeries* series(int engine) const { return m_series.at(engine); }
    // Every stretch of the engine's line, left to right, series(engine) first.
    QList<QLineSeries*> lines(int engine) const;
    QCheckBox* checkBox(int engine) const { return m_boxes.at(engine); }
    QFrame* checkBoxStrip() const { return m_strip; }
    QString titleText() const;
    // The date label of every point, position 0 first.
    const QStringList& pointLabels() const { return m_labels; }
    // The date labels drawn under the plot, left to right: a thinned selection of the above.
    const QList<QGraphicsSimpleTextItem*>& shownDateLabels() const { return m_dateItems; }
    QValueAxis* valueAxis() const { return m_axisY; }
    // "暂无数据" across the plot, seen while no shown line has a point.
    const QGraphicsSimpleTextItem* noDataLabel() const { return m_noData; }
    QCategoryAxis* dateAxis() const { return m_axisX; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setLine(int engine, const QList<QList<QPointF>>& stretches);
    void removeSegments();
    void rescaleValueAxis();
    void rebuildDateLabels();
    void placeNoData();
    void fitLegend();
    void layoutChildren();
    void fitChartToViewport();

    std::array<QLineSeries*, EngineCount> m_series {};
    std::array<QList<QLineSeries*>, EngineCount> m_segments; // the stretches after a gap
    std::array<QCheckBox*, EngineCount> m_boxes {};
    QFrame* m_strip = nullptr;
    QWidget* m_bottomBar = nullptr;
    QCategoryAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    QStringList m_labels;
    QList<QGraphicsSimpleTextItem*> m_dateItems;
    QGraphicsSimpleTextItem* m_noData = nullptr;
    bool m_placingDates = false;
};

// A value axis range with round tick steps that covers [low, high].
struct AxisScale
{
    double min = 0;
    double max = 1;
    double step = 1;
};

// Steps are 1, 2 or 5 times a power of ten, never below 1 (counts are whole numbers), with at
// most maxTicks + 1 ticks. An empty span still gets one step so the line does not sit on an edge.
AxisScale niceScale(double low, double high, int maxTicks = 5);

// What a row gives the engine's line: its stored figure when the row predates readings, else
// the reading's figure when it is one to trust; nothing (a gap) otherwise.
std::optional<Count> plottedFigure(const ResultRow& row, int engine);

} // namespace shoulu
