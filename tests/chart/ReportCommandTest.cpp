#include "PictureTestData.h"
#include "support/CliRunner.h"
#include "ui/UiTest.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

TEST(ReportCommandTest, OnePageWithEveryDomainsLatestFiguresAndChartAndNothingFromOutside)
{
    TempDatabase temp;
    ASSERT_TRUE(temp.ok());
    const QString hostile = QStringLiteral("x<b>&'\".com");
    storeDays(temp, QStringLiteral("a.com"), 4, {});
    storeDays(temp, hostile, 2, { 1 });
    const QString file = temp.filePath(QStringLiteral("r.html"));
    const CliRun run
        = runCli({ QStringLiteral("--db"), temp.path(), QStringLiteral("report"), QStringLiteral("-o"), file });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QFile page(file);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());

    EXPECT_TRUE(html.startsWith(QStringLiteral("<!DOCTYPE html>")));
    EXPECT_TRUE(html.trimmed().endsWith(QStringLiteral("</html>")));
    EXPECT_EQ(html.count(QStringLiteral("<svg")), 2);
    EXPECT_EQ(html.count(QStringLiteral("<section>")), 2);
    EXPECT_EQ(html.count(QStringLiteral("<tr>")), 3); // header and one row per domain
    // The newest row of the hostile domain has Baidu blocked: its word, not a figure.
    EXPECT_TRUE(html.contains(QStringLiteral("<td class=\"muted\">") + statusCaption(ReadingStatus::Blocked)));
    EXPECT_FALSE(html.contains(QStringLiteral("<b>")));
    EXPECT_TRUE(html.contains(QStringLiteral("x&lt;b&gt;&amp;")));
    EXPECT_FALSE(html.contains(QRegularExpression(QStringLiteral("(src|href)\\s*=|url\\(|@import"))));
}

TEST(ReportCommandTest, EveryListedDomainInListOrderAndTheNeverQueriedSaidSo)
{
    TempDatabase temp;
    ASSERT_TRUE(temp.ok());
    storeDays(temp, QStringLiteral("b.com"), 2, {});
    {
        auto db = temp.open();
        ASSERT_TRUE(db.ok());
        ASSERT_TRUE(DomainList((*db)->database()).addDomain(QStringLiteral("never.com")).ok());
    }
    // Stored later, so newest first would put it first.
    storeDays(temp, QStringLiteral("A.com"), 3, {});
    const CliRun run = runCli({ QStringLiteral("--db"), temp.path(), QStringLiteral("report") });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QRegularExpression row(QStringLiteral("<tr><td>([^<]*)</td><td[^>]*>([^<]*)</td>"));
    QStringList rows;
    for (const auto& match : row.globalMatch(run.out)) {
        rows.append(match.captured(1) + QLatin1Char(' ') + match.captured(2));
    }
    EXPECT_EQ(rows,
        (QStringList { QStringLiteral("b.com 2024-05-02"), QStringLiteral("never.com 尚未查询"),
            QStringLiteral("A.com 2024-05-03") }));
    QStringList sections;
    for (const auto& match : QRegularExpression(QStringLiteral("<h2>([^<]*)</h2>")).globalMatch(run.out)) {
        sections.append(match.captured(1));
    }
    EXPECT_EQ(
        sections, (QStringList { QStringLiteral("b.com"), QStringLiteral("never.com"), QStringLiteral("A.com") }));
    EXPECT_EQ(run.out.count(QStringLiteral("<svg")), 2) << "no chart for a domain without rows";
}

TEST(ReportCommandTest, StandardOutputWithoutAFileAndUsageErrors)
{
    TempDatabase temp;
    ASSERT_TRUE(temp.ok());
    const QStringList db { QStringLiteral("--db"), temp.path(), QStringLiteral("report") };
    const CliRun empty = runCli(db);
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_TRUE(empty.out.startsWith(QStringLiteral("<!DOCTYPE html>")));
    EXPECT_EQ(runCli(db + QStringList { QStringLiteral("-o") }).exitCode, 2);
    EXPECT_EQ(runCli(db + QStringList { QStringLiteral("extra") }).exitCode, 2);
}

} // namespace
} // namespace shoulu::test
