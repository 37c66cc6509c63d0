#include "ui/ExportMenus.h"

#include "UiTest.h"
#include "chart/TrendChart.h"
#include "cli/RowFormat.h"
#include "ui/HistoryList.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QTimer>

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
    ASSERT_TRUE(exportCsv(list, path, false).ok());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), cli::formatRows(rows, cli::RowFormat::Csv));

    const auto refused = exportCsv(list, m_temp.filePath(QStringLiteral("missing/out.csv")), true);
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().contains(QStringLiteral("missing/out.csv")));
}

// "导出CSV…" as the user meets it: a dialog that offers the day's file of the domain shown and
// the status columns, ticked; unticking them leaves a blocked reading as its stored 0.
class CsvDialogTest : public UiTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(CsvDialogTest, OffersDomainAndDayAndWritesStatusColumnsUnlessUnticked)
{
    const bool keepTicked = GetParam();
    ResultRow row;
    row.domain = QStringLiteral("a.com");
    row.counts = countsFrom(7);
    row.counts[0] = 0;
    row.searchTime = at(2024, 6, 1);
    row.readings = { { QStringLiteral("baidu"), reading(ReadingStatus::Blocked) } };
    HistoryList list;
    addCsvExport(&list);
    list.appendRows({ row, row });
    const QString path = m_temp.filePath(QStringLiteral("picked.csv"));

    QString offered;
    bool ticked = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        offered = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        auto* box = child<QCheckBox>(dialog, "chk1");
        ASSERT_NE(box, nullptr);
        ticked = box->isChecked();
        box->setChecked(keepTicked);
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's 保存 button does
    });
    child<QAction>(&list, "actionExportCsv")->trigger();

    EXPECT_EQ(offered, QStringLiteral("a.com-") + QDate::currentDate().toString(Qt::ISODate) + QStringLiteral(".csv"));
    EXPECT_TRUE(ticked);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(file.readAll());
    EXPECT_EQ(written, cli::formatRows({ row, row }, cli::RowFormat::Csv, keepTicked));
    EXPECT_EQ(written.contains(QStringLiteral("baidu_status")), keepTicked);
    EXPECT_EQ(MessageBox::shownCount(), 0) << MessageBox::lastText().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Tick, CsvDialogTest, ::testing::Bool());

TEST(CsvFileNameTest, NamesTheOneDomainShownElseTheProgram)
{
    const struct
    {
        QStringList domains;
        QString name;
    } cases[] = {
        { {}, QStringLiteral("shoulu-2024-06-01.csv") },
        { { QStringLiteral("a.com"), QStringLiteral("a.com") }, QStringLiteral("a.com-2024-06-01.csv") },
        { { QStringLiteral("a.com"), QStringLiteral("b.com") }, QStringLiteral("shoulu-2024-06-01.csv") },
        { { QStringLiteral("old/name") }, QStringLiteral("old_name-2024-06-01.csv") },
    };
    for (const auto& c : cases) {
        HistoryList list;
        for (const QString& domain : c.domains) {
            ResultRow row;
            row.domain = domain;
            row.searchTime = at(2023, 1, 1);
            list.appendRows({ row });
        }
        EXPECT_EQ(csvFileName(list, QDate(2024, 6, 1)), c.name) << c.domains.join(QLatin1Char(' ')).toStdString();
    }
}

} // namespace
} // namespace shoulu::test
