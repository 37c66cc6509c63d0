#include "chart/TrendChart.h"

#include "UiTest.h"
#include "support/HistoryGenerator.h"
#include "ui/HistoryList.h"

#include <QCategoryAxis>
#include <QChart>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace shoulu::test {
namespace {

bool legendShows(TrendChart* chart, int engine)
{
    const auto markers = chart->chart()->legend()->markers(chart->series(engine));
    return !markers.isEmpty() && markers.first()->isVisible();
}

ResultRow rowOn(const QDate& date, const EngineCounts& counts)
{
    ResultRow row;
    row.domain = QStringLiteral("x.com");
    row.counts = counts;
    row.searchTime = QDateTime(date, QTime(23, 59));
    return row;
}

// ---- the chart alone ----------------------------------------------------------------------------

class TrendChartAloneTest : public ::testing::Test
{
protected:
    // Legend entries only count as visible in a chart on screen.
    void SetUp() override
    {
        m_chart.resize(802, 280);
        m_chart.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_chart));
    }

    TrendChart m_chart;
};

TEST_F(TrendChartAloneTest, StartsWithEveryLineHiddenAlthoughTheFirstBoxIsTicked)
{
    EXPECT_EQ(m_chart.titleText(), QStringLiteral("最近30日收录量走势图"));
    EXPECT_TRUE(m_chart.checkBox(0)->isChecked());
    for (int i = 0; i < EngineCount; ++i) {
        EXPECT_FALSE(m_chart.series(i)->isVisible()) << i;
        EXPECT_FALSE(legendShows(&m_chart, i)) << i;
        EXPECT_EQ(m_chart.series(i)->count(), 0);
        if (i > 0) {
            EXPECT_FALSE(m_chart.checkBox(i)->isChecked()) << i;
        }
    }
}

TEST_F(TrendChartAloneTest, RowsBecomePointsAtConsecutivePositionsWithTheirDates)
{
    // Days with gaps between them still sit side by side.
    const std::vector<ResultRow> rows { rowOn(QDate(2024, 1, 1), countsFrom(10)),
        rowOn(QDate(2024, 1, 5), countsFrom(-1)), rowOn(QDate(2024, 2, 20), countsFrom(3000000000)) };
    m_chart.draw(QStringLiteral("x.com"), rows);
    for (int i = 0; i < EngineCount; ++i) {
        const QList<QPointF> points = m_chart.series(i)->points();
        ASSERT_EQ(points.size(), 3);
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(points[p].x(), p);
            EXPECT_EQ(points[p].y(), static_cast<double>(rows[p].counts[i]));
        }
    }
    QStringList dates;
    for (const ResultRow& row : rows) {
        dates.append(QLocale::system().toString(row.searchTime.date(), QLocale::ShortFormat));
    }
    EXPECT_EQ(m_chart.pointLabels(), dates);
    EXPECT_EQ(m_chart.titleText(), QStringLiteral("x.com最近30日收录量走势图"));
}

TEST_F(TrendChartAloneTest, DateAxisLabelsArePointDatesFromTheOldestOnWithoutOverlap)
{
    std::vector<ResultRow> rows;
    for (int d = 0; d < 30; ++d) {
        rows.push_back(rowOn(QDate(2023, 12, 1).addDays(d), countsFrom(d)));
    }
    m_chart.draw(QStringLiteral("x.com"), rows);
    const QStringList axisLabels = m_chart.dateAxis()->categoriesLabels();
    ASSERT_FALSE(axisLabels.isEmpty());
    EXPECT_EQ(axisLabels.first(), m_chart.pointLabels().first());
    EXPECT_EQ(m_chart.dateAxis()->endValue(axisLabels.first()), 0);
    double previous = -1;
    for (const QString& label : axisLabels) {
        const int position = static_cast<int>(m_chart.dateAxis()->endValue(label));
        EXPECT_EQ(m_chart.pointLabels().value(position), label);
        EXPECT_GT(position, previous);
        previous = position;
    }
    EXPECT_EQ(m_chart.dateAxis()->min(), 0);
    EXPECT_EQ(m_chart.dateAxis()->max(), 29);
}

struct DateRun
{
    const char* name;
    int days;
    Count count;
};

void PrintTo(const DateRun& run, std::ostream* os)
{
    *os << run.name;
}

class DateLabelTest : public TrendChartAloneTest, public ::testing::WithParamInterface<DateRun>
{
};

// Long dates ("11 Mar 2024" outside a Chinese locale) were cut short by the axis, and the oldest
// fell off the plot's edge when the value axis was narrow.
TEST_P(DateLabelTest, ShownDatesStayInsideApartAndUnderTheirPointsWithBothEnds)
{
    const auto [name, days, count] = GetParam();
    std::vector<ResultRow> rows;
    for (int d = 0; d < days; ++d) {
        rows.push_back(rowOn(QDate(2024, 3, 11).addDays(d), countsFrom(count)));
    }
    m_chart.draw(QStringLiteral("x.com"), rows);
    QCoreApplication::processEvents(); // the value axis' new labels move the plot

    const QList<QGraphicsSimpleTextItem*>& shown = m_chart.shownDateLabels();
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.first()->text(), m_chart.pointLabels().first());
    EXPECT_EQ(shown.last()->text(), m_chart.pointLabels().last());
    if (days <= 3) {
        EXPECT_EQ(shown.size(), days);
    }
    const QRectF bounds(QPointF(), m_chart.chart()->size());
    double previousRight = -1;
    for (const QGraphicsSimpleTextItem* item : shown) {
        const QRectF box = item->mapRectToParent(item->boundingRect());
        EXPECT_TRUE(bounds.contains(box)) << item->text().toStdString();
        EXPECT_GT(box.left(), previousRight) << item->text().toStdString();
        previousRight = box.right();
        const int position = static_cast<int>(m_chart.pointLabels().indexOf(item->text()));
        if (item != shown.first() && item != shown.last()) {
            const QPointF point = m_chart.chart()->mapToPosition(QPointF(position, count), m_chart.series(0));
            EXPECT_NEAR(box.center().x(), point.x(), 1.0) << item->text().toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, DateLabelTest,
    ::testing::Values(DateRun { "ThreeDaysNarrowAxis", 3, 1 }, DateRun { "ThirtyDaysNarrowAxis", 30, 1 },
        DateRun { "ThirtyDaysWideAxis", 30, 3000000000 }),
    [](const ::testing::TestParamInfo<DateRun>& info) { return std::string(info.param.name); });

TEST_F(TrendChartAloneTest, EmptyingTheLinesRescalesTheValueAxis)
{
    EngineCounts counts;
    counts.fill(4000000000);
    m_chart.draw(QStringLiteral("x.com"), { rowOn(QDate(2024, 1, 1), counts) });
    m_chart.clearLines();
    EXPECT_LE(m_chart.valueAxis()->max(), 1);
}

TEST_F(TrendChartAloneTest, BoxesShowAndHideLinesAndLegendEntries)
{
    m_chart.draw(QStringLiteral("x.com"), { rowOn(QDate(2024, 1, 1), countsFrom(1)) });
    EXPECT_TRUE(m_chart.series(0)->isVisible());
    EXPECT_TRUE(legendShows(&m_chart, 0));
    EXPECT_FALSE(m_chart.series(3)->isVisible());

    m_chart.checkBox(3)->click();
    m_chart.checkBox(0)->click();
    m_chart.updateChatline();
    EXPECT_FALSE(m_chart.series(0)->isVisible());
    EXPECT_FALSE(legendShows(&m_chart, 0));
    EXPECT_TRUE(m_chart.series(3)->isVisible());
    EXPECT_TRUE(legendShows(&m_chart, 3));
    EXPECT_EQ(m_chart.series(0)->count(), 1) << "hiding keeps the points";
}

TEST_F(TrendChartAloneTest, ValueAxisFollowsTheShownLinesOnly)
{
    EngineCounts counts { { 500, -1, 0, 0, 0, 0, 0 } };
    m_chart.draw(QStringLiteral("x.com"), { rowOn(QDate(2024, 1, 1), counts), rowOn(QDate(2024, 1, 2), counts) });
    EXPECT_GE(m_chart.valueAxis()->min(), 0) << "the hidden -1 must not pull the axis down";
    EXPECT_GE(m_chart.valueAxis()->max(), 500);

    m_chart.checkBox(1)->setChecked(true);
    m_chart.updateChatline();
    EXPECT_LT(m_chart.valueAxis()->min(), 0);
    EXPECT_GE(m_chart.valueAxis()->max(), 500);
}

TEST_F(TrendChartAloneTest, ValueAxisRescalesBetweenHugeAndTinyCounts)
{
    const auto drawConstant = [this](Count value) {
        EngineCounts counts;
        counts.fill(value);
        m_chart.draw(QStringLiteral("x.com"), { rowOn(QDate(2024, 1, 1), counts), rowOn(QDate(2024, 1, 2), counts) });
    };
    drawConstant(4000000000);
    EXPECT_GE(m_chart.valueAxis()->max(), 4000000000.0);
    drawConstant(1);
    EXPECT_LE(m_chart.valueAxis()->max(), 10);
    EXPECT_LE((m_chart.valueAxis()->max() - m_chart.valueAxis()->min()) / m_chart.valueAxis()->tickInterval(), 5.0);
    drawConstant(4000000000);
    EXPECT_GE(m_chart.valueAxis()->min(), 1000000000.0) << "the axis follows the counts, not zero";
}

// Baidu on three days, the middle one as given or not asked at all; Google counted every day.
std::vector<ResultRow> threeDays(const std::optional<Reading>& middle)
{
    std::vector<ResultRow> rows;
    for (int d = 0; d < 3; ++d) {
        ResultRow row = rowOn(QDate(2024, 1, 1).addDays(d), EngineCounts {});
        row.readings.append({ QStringLiteral("google"), reading(ReadingStatus::Counted, 7) });
        const std::optional<Reading> baidu = d == 1 ? middle : reading(ReadingStatus::Counted, 10 * (d + 1));
        if (baidu) {
            row.readings.append({ QStringLiteral("baidu"), *baidu });
            row.counts[0] = baidu->count;
        }
        rows.push_back(row);
    }
    return rows;
}

TEST_F(TrendChartAloneTest, OnlyTrustedFiguresArePointsAndEmptyingLeavesNoStretchNorDomain)
{
    using S = ReadingStatus;
    const QList<QList<QPointF>> gap { { { 0, 10 } }, { { 2, 30 } } };
    const std::pair<std::optional<Reading>, QList<QList<QPointF>>> cases[] {
        { reading(S::Counted, 20), { { { 0, 10 }, { 1, 20 }, { 2, 30 } } } },
        { reading(S::None, 0), { { { 0, 10 }, { 1, 0 }, { 2, 30 } } } },
        { reading(S::Blocked, -1), gap },
        { reading(S::Failed, -1), gap },
        { reading(S::Unreadable, -1), gap },
        { reading(S::Off, -1), gap },
        { std::nullopt, gap },
    };
    for (const auto& [middle, expected] : cases) {
        SCOPED_TRACE(middle ? statusWord(middle->status).toStdString() : "not asked");
        m_chart.draw(QStringLiteral("x.com"), threeDays(middle));
        QCoreApplication::processEvents(); // the legend lays out its new entries
        QList<QList<QPointF>> stretches;
        for (QLineSeries* line : m_chart.lines(0)) {
            stretches.append(line->points());
            EXPECT_EQ(line->pointsVisible(), line->count() == 1) << "a lone point shows as a dot";
            EXPECT_EQ(line->pen(), m_chart.series(0)->pen());
            EXPECT_TRUE(line->isVisible());
            const auto markers = m_chart.chart()->legend()->markers(line);
            EXPECT_EQ(!markers.isEmpty() && markers.first()->isVisible(), line == m_chart.series(0));
        }
        EXPECT_EQ(stretches, expected);
        EXPECT_GE(m_chart.valueAxis()->min(), 0) << "a -1 that is no figure must not pull the axis down";
    }
    m_chart.checkBox(0)->setChecked(false);
    m_chart.updateChatline();
    EXPECT_FALSE(m_chart.lines(0).last()->isVisible()) << "the box switches every stretch";

    m_chart.clearLines();
    EXPECT_EQ(m_chart.chart()->series().size(), EngineCount) << "no stretch outlives the lines";
    EXPECT_EQ(m_chart.titleText(), QStringLiteral("最近30日收录量走势图"));
}

// ---- axis steps ---------------------------------------------------------------------------------

struct Span
{
    double low;
    double high;
};

class NiceScaleTest : public ::testing::TestWithParam<Span>
{
};

TEST_P(NiceScaleTest, CoversTheSpanWithRoundStepsAndFewTicks)
{
    const auto [low, high] = GetParam();
    const AxisScale scale = niceScale(low, high, 5);
    EXPECT_LE(scale.min, std::min(low, high));
    EXPECT_GE(scale.max, std::max(low, high));
    EXPECT_GT(scale.max, scale.min);
    EXPECT_GE(scale.step, 1.0);
    const double ticks = (scale.max - scale.min) / scale.step;
    EXPECT_LE(ticks, 5.0 + 1e-9);
    EXPECT_NEAR(ticks, std::round(ticks), 1e-9) << "the range must be whole steps";
    EXPECT_NEAR(scale.min / scale.step, std::round(scale.min / scale.step), 1e-9) << "ticks on multiples of the step";
    const double mantissa = scale.step / std::pow(10.0, std::floor(std::log10(scale.step)));
    EXPECT_TRUE(std::abs(mantissa - 1) < 1e-9 || std::abs(mantissa - 2) < 1e-9 || std::abs(mantissa - 5) < 1e-9)
        << "step " << scale.step;
}

INSTANTIATE_TEST_SUITE_P(Spans, NiceScaleTest,
    ::testing::Values(Span { 0, 0 }, Span { -1, -1 }, Span { -1, 0 }, Span { -1, 5 }, Span { 1, 11 },
        Span { 0, 4999999 }, Span { 123456, 123457 }, Span { 7, 3 }, Span { -1, 3000000000.0 }, Span { 999, 1001 }));

// One value, or a flat line of it: the ticks round numbers around it, not one step above it.
class FlatScaleTest : public ::testing::TestWithParam<double>
{
};

TEST_P(FlatScaleTest, OneValueGetsARangeAroundIt)
{
    const double value = GetParam();
    const AxisScale scale = niceScale(value, value, 5);
    EXPECT_GE(scale.max - scale.min, std::max(1.0, std::abs(value) / 5)) << scale.min << " " << scale.max;
    EXPECT_LT(value, scale.max);
    EXPECT_TRUE(value > scale.min || (value == 0 && scale.min == 0)) << "a count of 0 needs no negative ticks";
    EXPECT_LE((scale.max - scale.min) / scale.step, 5.0 + 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Values, FlatScaleTest, ::testing::Values(12345.0, 1.0, 0.0, -1.0, 4000000000.0, 999.0));

// ---- the chart in the main window ---------------------------------------------------------------

class MainWindowChartTest : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ASSERT_TRUE(HistoryGenerator::fill(m_other->database(), 2, 40, m_firstDay).ok());
        m_form = openForm();
        m_chart = m_form->trendChart();
    }

    void history(const QString& boxText)
    {
        QLineEdit* edit = m_form->domainBox()->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, boxText);
        child<QPushButton>(m_form.get(), "bsSkinXFormButton3")->click();
    }

    const QDate m_firstDay { 2024, 1, 1 };
    std::unique_ptr<TForm1> m_form;
    TrendChart* m_chart = nullptr;
};

TEST_F(MainWindowChartTest, DailyViewDrawsTheNewestThirtyDaysOldestLeft)
{
    const QString domain = HistoryGenerator::domainName(1);
    history(domain);
    ASSERT_EQ(m_form->historyList()->rowCount(), 40);
    EXPECT_EQ(m_chart->titleText(), domain + QStringLiteral("最近30日收录量走势图"));
    for (int i = 0; i < EngineCount; ++i) {
        const QList<QPointF> points = m_chart->series(i)->points();
        ASSERT_EQ(points.size(), 30) << "engine " << i;
        for (int p = 0; p < 30; ++p) {
            EXPECT_EQ(points[p].x(), p);
            EXPECT_EQ(points[p].y(), static_cast<double>(HistoryGenerator::count(1, 10 + p, i)));
        }
    }
    EXPECT_EQ(m_chart->pointLabels().first(), QLocale::system().toString(m_firstDay.addDays(10), QLocale::ShortFormat));
    EXPECT_EQ(m_chart->pointLabels().last(), QLocale::system().toString(m_firstDay.addDays(39), QLocale::ShortFormat));
    EXPECT_TRUE(m_chart->series(0)->isVisible());
}

TEST_F(MainWindowChartTest, BoxClicksWorkOnLoadedPointsWithoutReadingTheDatabase)
{
    history(HistoryGenerator::domainName(0));
    ASSERT_EQ(m_chart->series(1)->count(), 30);
    execOther("DELETE FROM shoulu");

    m_chart->checkBox(1)->click(); // tick 谷歌
    m_chart->checkBox(0)->click(); // clear 百度
    EXPECT_TRUE(m_chart->series(1)->isVisible());
    EXPECT_FALSE(m_chart->series(0)->isVisible());
    for (int i = 0; i < EngineCount; ++i) {
        EXPECT_EQ(m_chart->series(i)->count(), 30) << "engine " << i;
    }

    for (int i = 0; i < EngineCount; ++i) {
        if (m_chart->checkBox(i)->isChecked()) {
            m_chart->checkBox(i)->click();
        }
    }
    for (int i = 0; i < EngineCount; ++i) {
        EXPECT_FALSE(m_chart->series(i)->isVisible()) << "engine " << i;
    }
    EXPECT_EQ(m_chart->titleText(), HistoryGenerator::domainName(0) + QStringLiteral("最近30日收录量走势图"));
}

TEST_F(MainWindowChartTest, FirstBoxClickAppliesEveryBox)
{
    m_chart->checkBox(2)->click();
    EXPECT_TRUE(m_chart->series(0)->isVisible()) << "box 1 is ticked from the start";
    EXPECT_TRUE(m_chart->series(2)->isVisible());
    EXPECT_FALSE(m_chart->series(1)->isVisible());
}

TEST_F(MainWindowChartTest, SelectingARowWhoseDomainLeftTheListEmptiesTheLines)
{
    history(QString());
    ASSERT_EQ(m_form->historyList()->rowCount(), 2);
    const int rowOfZero = m_form->historyList()->domainAt(0) == HistoryGenerator::domainName(0) ? 0 : 1;
    m_form->historyList()->selectRow(1 - rowOfZero);
    ASSERT_EQ(m_chart->series(0)->count(), 30);

    execOther("DELETE FROM domain WHERE domain = 'site0000.example.com'");
    m_form->historyList()->selectRow(rowOfZero);
    EXPECT_EQ(m_chart->titleText(), HistoryGenerator::domainName(0) + QStringLiteral("最近30日收录量走势图"));
    for (int i = 0; i < EngineCount; ++i) {
        EXPECT_EQ(m_chart->series(i)->count(), 0) << "engine " << i;
    }
}

TEST_F(MainWindowChartTest, EmptyDomainChangesNothingNotEvenTheTitle)
{
    history(HistoryGenerator::domainName(0));
    m_form->updateChat(QString());
    EXPECT_EQ(m_chart->titleText(), HistoryGenerator::domainName(0) + QStringLiteral("最近30日收录量走势图"));
    EXPECT_EQ(m_chart->series(0)->count(), 30);
}

TEST_F(MainWindowChartTest, StoreFailureWhileDrawingIsSilentAndChangesNothing)
{
    history(HistoryGenerator::domainName(0));
    execOther("ALTER TABLE shoulu RENAME TO shoulu_moved");
    m_chart->checkBox(0)->setChecked(false);
    m_form->updateChat(HistoryGenerator::domainName(1));
    EXPECT_EQ(MessageBox::shownCount(), 0);
    EXPECT_EQ(m_chart->titleText(), HistoryGenerator::domainName(0) + QStringLiteral("最近30日收录量走势图"));
    EXPECT_EQ(m_chart->series(0)->count(), 30);
    EXPECT_TRUE(m_chart->series(0)->isVisible()) << "the boxes are not applied either";
}

} // namespace
} // namespace shoulu::test
