#include "ui/HistoryList.h"

#include "UiTest.h"
#include "chart/TrendChart.h"
#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <optional>

namespace shoulu::test {
namespace {

QString shortDate(const QDateTime& time)
{
    return QLocale::system().toString(time.date(), QLocale::ShortFormat);
}

QStringList rowTexts(const HistoryList* list, int row)
{
    QStringList texts;
    for (int column = 0; column < list->columnCount(); ++column) {
        const QTableWidgetItem* item = list->item(row, column);
        texts.append(item != nullptr ? item->text() : QStringLiteral("<none>"));
    }
    return texts;
}

QStringList expectedRow(int number, const QString& domain, const QDateTime& time, const EngineCounts& counts)
{
    QStringList texts { QString::number(number), domain, shortDate(time) };
    for (const Count count : counts) {
        texts.append(QString::number(count));
    }
    return texts;
}

QStringList column(const HistoryList* list, int col)
{
    QStringList texts;
    for (int row = 0; row < list->rowCount(); ++row) {
        texts.append(list->item(row, col)->text());
    }
    return texts;
}

// Two listed domains with history, one unlisted domain with rows of its own.
class HistoryListTest : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        listDomains({ QStringLiteral("a.com"), QStringLiteral("b.com") });
        addRow(QStringLiteral("a.com"), at(2024, 3, 1, 9), m_aDay1);
        addRow(QStringLiteral("b.com"), at(2024, 3, 1, 10), m_b);
        addRow(QStringLiteral("a.com"), at(2024, 3, 2, 8), countsFrom(100));
        addRow(QStringLiteral("a.com"), at(2024, 3, 2, 17), m_aDay2);
        addRow(QStringLiteral("gone.com"), at(2024, 3, 3, 9), countsFrom(7));
        m_form = openForm();
        m_list = m_form->historyList();
        m_chart = m_form->trendChart();
        m_button = child<QPushButton>(m_form.get(), "bsSkinXFormButton3");
        ASSERT_NE(m_button, nullptr);
    }

    void history(const QString& boxText)
    {
        QLineEdit* edit = m_form->domainBox()->lineEdit();
        edit->clear();
        QTest::keyClicks(edit, boxText);
        m_button->click();
    }

    const EngineCounts m_aDay1 { { 12345, 0, -1, 7, 0, 42, 3000000000 } };
    const EngineCounts m_b { { 1, 2, 3, 4, 5, 6, 7 } };
    const EngineCounts m_aDay2 { { -1, -1, 0, 0, 99, 98, 97 } };
    std::unique_ptr<TForm1> m_form;
    HistoryList* m_list = nullptr;
    TrendChart* m_chart = nullptr;
    QPushButton* m_button = nullptr;
};

TEST_F(HistoryListTest, EmptyBoxShowsNewestRowOfEveryListedDomainNewestFirst)
{
    history(QString());
    ASSERT_EQ(m_list->rowCount(), 2);
    EXPECT_EQ(rowTexts(m_list, 0), expectedRow(1, QStringLiteral("a.com"), at(2024, 3, 2, 17), m_aDay2));
    EXPECT_EQ(rowTexts(m_list, 1), expectedRow(2, QStringLiteral("b.com"), at(2024, 3, 1, 10), m_b));
    EXPECT_EQ(MessageBox::shownCount(), 0);
}

TEST_F(HistoryListTest, DomainInTheBoxShowsOneRowPerDayAndDrawsItsChart)
{
    history(QStringLiteral("a.com"));
    ASSERT_EQ(m_list->rowCount(), 2);
    // Old rows: the morning's figures above 0 stand where the evening has -1 or 0.
    const EngineCounts day2 { { 100, 101, 102, 103, 99, 98, 97 } };
    EXPECT_EQ(rowTexts(m_list, 0), expectedRow(1, QStringLiteral("a.com"), at(2024, 3, 2, 17), day2));
    EXPECT_EQ(rowTexts(m_list, 1), expectedRow(2, QStringLiteral("a.com"), at(2024, 3, 1, 9), m_aDay1));
    EXPECT_EQ(m_chart->titleText(), QStringLiteral("a.com最近30日收录量走势图"));
    EXPECT_EQ(m_chart->series(0)->count(), 2);
}

TEST_F(HistoryListTest, RowNumbersStartAgainAtOneOnEveryRefresh)
{
    history(QStringLiteral("a.com"));
    history(QStringLiteral("a.com"));
    EXPECT_EQ(column(m_list, 0), (QStringList { QStringLiteral("1"), QStringLiteral("2") }));
    history(QString());
    EXPECT_EQ(column(m_list, 0), (QStringList { QStringLiteral("1"), QStringLiteral("2") }));
}

TEST_F(HistoryListTest, BoxTextIsUsedUntrimmed)
{
    history(QStringLiteral(" a.com"));
    EXPECT_EQ(m_list->rowCount(), 0);
    EXPECT_EQ(m_chart->titleText(), QStringLiteral("最近30日收录量走势图"));
}

TEST_F(HistoryListTest, LatestViewThatFindsRowsEmptiesTheLinesAndTakesTheDomainFromTheTitle)
{
    history(QStringLiteral("a.com"));
    ASSERT_GT(m_chart->series(0)->count(), 0);
    history(QString());
    for (int i = 0; i < EngineCount; ++i) {
        EXPECT_EQ(m_chart->series(i)->count(), 0) << "series " << i;
    }
    EXPECT_EQ(m_chart->titleText(), QStringLiteral("最近30日收录量走势图"));
}

TEST_F(HistoryListTest, UnlistedDomainShowsNothingAndLeavesTheChartAlone)
{
    history(QStringLiteral("a.com"));
    history(QStringLiteral("gone.com"));
    EXPECT_EQ(m_list->rowCount(), 0);
    EXPECT_EQ(m_chart->titleText(), QStringLiteral("a.com最近30日收录量走势图"));
    EXPECT_EQ(m_chart->series(0)->count(), 2);
}

TEST_F(HistoryListTest, SelectingAnotherRowRedrawsForItLastAndReportsBothRows)
{
    history(QString());
    QSignalSpy spy(m_list, &HistoryList::selectItem);
    m_list->selectRow(0);
    EXPECT_EQ(m_chart->titleText(), QStringLiteral("a.com最近30日收录量走势图"));
    EXPECT_EQ(m_chart->series(0)->count(), 2);

    m_list->selectRow(1);
    EXPECT_EQ(m_chart->titleText(), QStringLiteral("b.com最近30日收录量走势图"));
    EXPECT_EQ(m_chart->series(0)->count(), 1);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(1).at(0).toString(), QStringLiteral("a.com"));
    EXPECT_FALSE(spy.at(1).at(1).toBool());
    EXPECT_EQ(spy.at(2).at(0).toString(), QStringLiteral("b.com"));
    EXPECT_TRUE(spy.at(2).at(1).toBool());
}

TEST_F(HistoryListTest, ClearingTheSelectionDrawsTheRowThatLostIt)
{
    history(QString());
    m_list->selectRow(1);
    m_form->updateChat(QStringLiteral("a.com"));
    m_list->clearSelection();
    EXPECT_EQ(m_chart->titleText(), QStringLiteral("b.com最近30日收录量走势图"));
}

TEST_F(HistoryListTest, ClickingARowSelectsTheWholeRowAndDrawsIt)
{
    m_form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    history(QString());
    const QRect cell = m_list->visualItemRect(m_list->item(1, 5));
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(m_list->selectedItems().size(), 10);
    EXPECT_EQ(m_chart->titleText(), QStringLiteral("b.com最近30日收录量走势图"));
}

TEST_F(HistoryListTest, RefreshLeavesNoRowSelectedAndDrawsNothingForTheOldSelection)
{
    history(QString());
    m_list->selectRow(0);
    m_form->updateChat(QStringLiteral("b.com"));
    history(QStringLiteral("nothing.com"));
    EXPECT_TRUE(m_list->selectedItems().isEmpty());
    EXPECT_EQ(m_chart->titleText(), QStringLiteral("b.com最近30日收录量走势图"));
}

TEST_F(HistoryListTest, HeaderClickDoesNotSort)
{
    m_form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    history(QString());
    QHeaderView* header = m_list->horizontalHeader();
    const QPoint domainCaption(header->sectionViewportPosition(1) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, domainCaption);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, domainCaption);
    EXPECT_EQ(column(m_list, 1), (QStringList { QStringLiteral("a.com"), QStringLiteral("b.com") }));
    EXPECT_TRUE(m_list->selectedItems().isEmpty()) << "a header click must not select a column";
}

TEST_F(HistoryListTest, StoreErrorIsShownAndLeavesListEmptyAndChartAsItWas)
{
    history(QStringLiteral("a.com"));
    execOther("ALTER TABLE shoulu RENAME TO shoulu_moved");
    history(QStringLiteral("b.com"));
    EXPECT_EQ(MessageBox::shownCount(), 1);
    EXPECT_FALSE(MessageBox::lastText().isEmpty());
    EXPECT_EQ(m_list->rowCount(), 0);
    EXPECT_EQ(m_chart->titleText(), QStringLiteral("a.com最近30日收录量走势图"));
    EXPECT_EQ(m_chart->series(0)->count(), 2);
}

// A figure to trust shows as a figure; anything else as a grey word whose tooltip says why.
TEST_F(HistoryListTest, ReadingCellsShowAFigureOrAGreyWordThatSaysWhy)
{
    using S = ReadingStatus;
    const struct
    {
        std::optional<Reading> reading; // none: the engine was not asked
        QString text;
        QStringList why; // all in the tooltip; none: a plain figure without one
    } cases[EngineCount] {
        { reading(S::Counted, 1234567), QLocale::system().toString(qint64(1234567)), {} },
        { reading(S::None, 0), QStringLiteral("0"), {} },
        { reading(S::Blocked, 0, QStringLiteral("http 429"), 429, QStringLiteral("wappass.baidu.com")),
            QStringLiteral("受阻"), { QStringLiteral("429"), QStringLiteral("wappass.baidu.com") } },
        { reading(S::Failed, 0, {}, 0, {}, QStringLiteral("Connection refused")), QStringLiteral("失败"),
            { QStringLiteral("Connection refused") } },
        { reading(S::Unreadable, -1, QStringLiteral("markers")), QStringLiteral("无法识别"),
            { QStringLiteral("markers") } },
        { reading(S::Off), QStringLiteral("停用"), { QStringLiteral("停用") } },
        { std::nullopt, QStringLiteral("停用"), { QStringLiteral("停用") } },
    };
    EngineCounts counts {};
    QList<EngineReading> readings;
    for (int i = 0; i < EngineCount; ++i) {
        if (cases[i].reading) {
            counts[i] = cases[i].reading->count;
            readings.append({ QString::fromLatin1(engineInfo(i).name), *cases[i].reading });
        }
    }
    addRow(QStringLiteral("a.com"), at(2024, 3, 3), counts, readings);
    history(QStringLiteral("a.com"));
    for (int i = 0; i < EngineCount; ++i) {
        SCOPED_TRACE(engineInfo(i).name);
        const QTableWidgetItem* cell = m_list->item(0, HistoryList::FirstCountColumn + i);
        EXPECT_EQ(cell->text(), cases[i].text);
        EXPECT_EQ(cell->foreground().color() == HistoryList::mutedColour(), !cases[i].why.isEmpty());
        EXPECT_EQ(cell->toolTip().isEmpty(), cases[i].why.isEmpty());
        for (const QString& why : cases[i].why) {
            EXPECT_TRUE(cell->toolTip().contains(why)) << cell->toolTip().toStdString();
        }
    }
}

TEST_F(HistoryListTest, SwitchedOnEngineBeyondTheSevenGetsAColumnAfterBing)
{
    ASSERT_TRUE(
        EngineCatalogue::setEnabled(EngineCatalogue::userFileBeside(m_temp.path()), QStringLiteral("360"), true));
    addRow(QStringLiteral("b.com"), at(2024, 3, 4), countsFrom(1),
        { { QStringLiteral("360"), reading(ReadingStatus::Counted, 4321) } });
    m_form = openForm();
    m_list = m_form->historyList();
    m_button = child<QPushButton>(m_form.get(), "bsSkinXFormButton3");
    history(QString());
    ASSERT_EQ(m_list->columnCount(), HistoryList::ColumnCount + 1);
    EXPECT_EQ(m_list->horizontalHeaderItem(HistoryList::ColumnCount)->text(), QStringLiteral("360"));
    EXPECT_EQ(m_list->item(0, HistoryList::ColumnCount)->text(), QLocale::system().toString(qint64(4321)));
    // A row from before readings shows as it always did, with nothing under the new engine.
    EXPECT_EQ(rowTexts(m_list, 1), expectedRow(2, QStringLiteral("a.com"), at(2024, 3, 2, 17), m_aDay2) << QString());
}

} // namespace
} // namespace shoulu::test
