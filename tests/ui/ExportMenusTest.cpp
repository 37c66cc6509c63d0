#include "ui/ExportMenus.h"

#include "UiTest.h"
#include "chart/TrendChart.h"
#include "cli/RowFormat.h"
#include "ui/HistoryList.h"

#include <QAction>
#include <QFile>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

QStringList actionTexts(const QWidget* widget)
{
    QStringList texts;
    for (const QAction* action : widget->actions()) {
        texts.append(action->text());
    }
    return texts;
}

class ExportMenusTest : public UiTest
{
};

TEST_F(ExportMenusTest, WindowOffersBothEntriesAndTheCsvIsTheCommandLinesOfTheRowsShown)
{
    const auto form = openForm();
    EXPECT_TRUE(actionTexts(form->historyList()).contains(QStringLiteral("导出CSV…")));
    EXPECT_TRUE(actionTexts(form->trendChart()).contains(QStringLiteral("保存图片…")));

    ResultRow row;
    row.domain = QStringLiteral("a,\"b\".com");
    row.counts = countsFrom(7);
    row.searchTime = at(2024, 6, 1);
    row.readings = { { QStringLiteral("baidu"), reading(ReadingStatus::Blocked) } };
    const std::vector<ResultRow> rows { row, row };
    HistoryList list;
    list.appendRows({ row });
    list.appendRows({ row });

    const QString path = m_temp.filePath(QStringLiteral("out.csv"));
    ASSERT_TRUE(exportCsv(list, path).ok());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), cli::formatRows(rows, cli::RowFormat::Csv));

    const auto refused = exportCsv(list, m_temp.filePath(QStringLiteral("missing/out.csv")));
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().contains(QStringLiteral("missing/out.csv")));
}

} // namespace
} // namespace shoulu::test
