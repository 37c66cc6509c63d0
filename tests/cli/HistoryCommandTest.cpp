#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "support/CliRunner.h"
#include "support/TempDatabase.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

using test::CliRun;
using test::runCli;

class HistoryCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok());
        DomainList list((*db)->database());
        ResultRows rows((*db)->database());
        for (const char* domain : { "a.com", "b,\"c\".com", "中文.中国" }) {
            ASSERT_TRUE(list.addDomain(QString::fromUtf8(domain)).ok());
        }
        const auto store = [&rows](const char* domain, int day, int hour, EngineCounts counts) {
            ASSERT_TRUE(
                rows.addshoulu(QString::fromUtf8(domain), QDateTime(QDate(2024, 3, day), QTime(hour, 0)), counts).ok());
        };
        store("a.com", 1, 9, { 1, 2, 3, 4, 5, 6, 7 });
        store("a.com", 1, 15, { 10, 20, 30, 40, 50, 60, 70 });
        store("a.com", 2, 9, { -1, 0, 2147483648, 4, 5, 6, 7 });
        store("b,\"c\".com", 3, 9, { 100, 0, 0, 0, 0, 0, 1 });
        store("中文.中国", 1, 20, { 5, 5, 5, 5, 5, 5, 5 });
        store("unlisted.com", 5, 9, { 9, 9, 9, 9, 9, 9, 9 });
    }

    CliRun history(QStringList args)
    {
        args.prepend(QStringLiteral("history"));
        args.prepend(m_temp.path());
        args.prepend(QStringLiteral("--db"));
        return runCli(args);
    }

    test::TempDatabase m_temp;
};

TEST_F(HistoryCommandTest, CsvOfLatestRowsIsExact)
{
    const CliRun run = history({ QStringLiteral("--format"), QStringLiteral("csv") });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
        QStringLiteral("domain,date,baidu,google,soso,yahoo,sogou,youdao,bing\n"
                       "\"b,\"\"c\"\".com\",2024-03-03,100,0,0,0,0,0,1\n"
                       "a.com,2024-03-02,-1,0,2147483648,4,5,6,7\n"
                       "中文.中国,2024-03-01,5,5,5,5,5,5,5\n"));
}

TEST_F(HistoryCommandTest, CsvOfDailyViewTakesEachDaysLastRow)
{
    const CliRun run = history({ QStringLiteral("A.COM"), QStringLiteral("--format=csv") });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out,
        QStringLiteral("domain,date,baidu,google,soso,yahoo,sogou,youdao,bing\n"
                       "a.com,2024-03-02,-1,0,2147483648,4,5,6,7\n"
                       "a.com,2024-03-01,10,20,30,40,50,60,70\n"));
}

TEST_F(HistoryCommandTest, DomainIsUsedUntrimmedAndUnlistedDomainHasNoRows)
{
    for (const char* domain : { " a.com", "unlisted.com", "nobody.com" }) {
        const CliRun run = history({ QString::fromUtf8(domain), QStringLiteral("--format"), QStringLiteral("csv") });
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, QStringLiteral("domain,date,baidu,google,soso,yahoo,sogou,youdao,bing\n")) << domain;
    }
}

TEST_F(HistoryCommandTest, JsonIsAnArrayOfRowObjectsWithExactCounts)
{
    const CliRun run = history({ QStringLiteral("a.com"), QStringLiteral("--format"), QStringLiteral("json") });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    ASSERT_TRUE(document.isArray());
    const QJsonArray rows = document.array();
    ASSERT_EQ(rows.size(), 2);
    const QJsonObject newest = rows.at(0).toObject();
    EXPECT_EQ(newest.value(QStringLiteral("domain")).toString(), QStringLiteral("a.com"));
    EXPECT_EQ(newest.value(QStringLiteral("date")).toString(), QStringLiteral("2024-03-02"));
    EXPECT_EQ(newest.value(QStringLiteral("searchtime")).toString(), QStringLiteral("2024-03-02 09:00:00"));
    EXPECT_EQ(newest.value(QStringLiteral("baidu")).toInteger(), -1);
    EXPECT_EQ(newest.value(QStringLiteral("soso")).toInteger(), 2147483648);
    EXPECT_EQ(rows.at(1).toObject().value(QStringLiteral("bing")).toInteger(), 70);
}

TEST_F(HistoryCommandTest, JsonEscapesQuotesInDomains)
{
    const CliRun run = history({ QStringLiteral("--format=json") });
    ASSERT_EQ(run.exitCode, 0);
    const QJsonArray rows = QJsonDocument::fromJson(run.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows.at(0).toObject().value(QStringLiteral("domain")).toString(), QStringLiteral("b,\"c\".com"));
    EXPECT_EQ(rows.at(2).toObject().value(QStringLiteral("domain")).toString(), QStringLiteral("中文.中国"));
}

TEST_F(HistoryCommandTest, TableIsTheDefaultWithCaptionsAndNumberedRows)
{
    const CliRun run = history({});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    const QStringList header = lines.at(0).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    EXPECT_EQ(header, QString::fromUtf8("# domain date 百度 谷歌 搜搜 雅虎 搜狗 有道 必应").split(QLatin1Char(' ')));
    EXPECT_TRUE(lines.at(1).trimmed().startsWith(QStringLiteral("1  b,\"c\".com")));
    EXPECT_TRUE(lines.at(3).trimmed().startsWith(QStringLiteral("3  中文.中国")));
}

TEST_F(HistoryCommandTest, WrongArgumentsAreUsageErrors)
{
    EXPECT_EQ(history({ QStringLiteral("--format"), QStringLiteral("xml") }).exitCode, 2);
    EXPECT_EQ(history({ QStringLiteral("--format") }).exitCode, 2);
    EXPECT_EQ(history({ QStringLiteral("a.com"), QStringLiteral("b.com") }).exitCode, 2);
    EXPECT_EQ(history({ QStringLiteral("--verbose") }).exitCode, 2);
}

TEST_F(HistoryCommandTest, DomainThatLooksLikeAnOptionAfterDoubleDash)
{
    const CliRun run = history({ QStringLiteral("--format=csv"), QStringLiteral("--"), QStringLiteral("-x.com") });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
}

TEST(HistoryCommandBadDatabaseTest, UnopenableDatabaseExitsOneNamingTheCause)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.dat"));
    {
        QFile file(empty);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const CliRun emptyRun = runCli({ QStringLiteral("--db"), empty, QStringLiteral("history") });
    EXPECT_EQ(emptyRun.exitCode, 1);
    EXPECT_TRUE(emptyRun.err.contains(QStringLiteral("empty"))) << emptyRun.err.toStdString();
    EXPECT_TRUE(emptyRun.out.isEmpty());
    EXPECT_EQ(QFileInfo(empty).size(), 0);

    const CliRun missing
        = runCli({ QStringLiteral("--db"), dir.filePath(QStringLiteral("none.dat")), QStringLiteral("history") });
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("does not exist"))) << missing.err.toStdString();
}

} // namespace
} // namespace shoulu
