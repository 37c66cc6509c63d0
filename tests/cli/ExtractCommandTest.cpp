#include "support/CliRunner.h"
#include "support/GbkPages.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

using test::runCli;

class ExtractCommandTest : public testing::Test
{
protected:
    QString writePage(const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("page.html"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    QTemporaryDir m_dir;
};

TEST_F(ExtractCommandTest, ReadsFileByEngineIndexOrName)
{
    const QString path = writePage(test::resultPageGbk(5, "约1亿2,345万"));
    for (const char* engine : { "5", "youdao" }) {
        const test::CliRun run = runCli({ QStringLiteral("extract"), QString::fromLatin1(engine), path });
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, QStringLiteral("123450000\n"));
        EXPECT_TRUE(run.err.isEmpty());
    }
}

TEST_F(ExtractCommandTest, ReadsStandardInputWithoutFile)
{
    const test::CliRun run
        = runCli({ QStringLiteral("extract"), QStringLiteral("bing") }, test::resultPageUtf8(6, " 1,234 "));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QStringLiteral("1234\n"));
}

TEST_F(ExtractCommandTest, JsonTellsTheStatusAndCaptionsNameEngines)
{
    const struct
    {
        const char* engine;
        QByteArray page;
        const char* json;
    } cases[] = {
        { "必应", "<span class=\"sb_count\">8,230 results</span>",
            R"({"count":8230,"engine":"bing","rule":"count: <span class=\"sb_count\"[^<>]{0,60}>)" },
        { "baidu", "<title>百度安全验证</title>", R"({"count":0,"engine":"baidu","rule":"blocked: )" },
        { "360", "<p>该网站约 1,234 个网页被360搜索收录</p>", R"({"count":1234,"engine":"360",)" },
        { "google", "nothing here", R"({"count":0,"engine":"google","rule":"","status":"unreadable"})" },
    };
    for (const auto& c : cases) {
        const test::CliRun run = runCli({ QStringLiteral("extract"), QStringLiteral("--format"), QStringLiteral("json"),
                                            QString::fromUtf8(c.engine) },
            c.page);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(QString::fromUtf8(c.json))) << run.out.toStdString();
    }
    const test::CliRun plain
        = runCli({ QStringLiteral("extract"), QStringLiteral("--format=plain"), QStringLiteral("bing") },
            "<span class=\"sb_count\">8,230 results</span>");
    EXPECT_EQ(plain.out, QStringLiteral("8230\n"));
    EXPECT_EQ(
        runCli({ QStringLiteral("extract"), QStringLiteral("--format=xml"), QStringLiteral("bing") }, "x").exitCode, 2);
}

TEST_F(ExtractCommandTest, EnginesListsChecksAndSwitches)
{
    const QString file = m_dir.filePath(QStringLiteral("engines.json"));
    const QString engines = QStringLiteral("--engines=") + file;
    test::CliRun run = runCli({ engines, QStringLiteral("engines"), QStringLiteral("enable"), QStringLiteral("360") });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = runCli({ engines, QStringLiteral("engines") });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(
        run.out.contains(QRegularExpression(QStringLiteral("\\n360 +360 +on +\\d+ +file +http +https://www.so.com/"))))
        << run.out.toStdString();
    EXPECT_EQ(runCli({ QStringLiteral("engines"), QStringLiteral("check"), file }).exitCode, 0);

    const QString bad = writePage("{\"engines\": [{\"key\": \"bing\", \"count\": [\"(\"]}]}");
    run = runCli({ QStringLiteral("engines"), QStringLiteral("check"), bad });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(bad + QStringLiteral(":1: "))) << run.err.toStdString();
    run = runCli({ QStringLiteral("--engines"), bad, QStringLiteral("extract"), QStringLiteral("bing") }, "x");
    EXPECT_EQ(run.exitCode, 1);
}

TEST_F(ExtractCommandTest, UnknownEngineIsAUsageError)
{
    for (const char* engine : { "7", "altavista", "" }) {
        const test::CliRun run = runCli({ QStringLiteral("extract"), QString::fromLatin1(engine) }, "x");
        EXPECT_EQ(run.exitCode, 2) << engine;
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.contains(QStringLiteral("unknown engine"))) << run.err.toStdString();
    }
}

TEST_F(ExtractCommandTest, WrongArgumentCountIsAUsageError)
{
    EXPECT_EQ(runCli({ QStringLiteral("extract") }).exitCode, 2);
    const QString path = writePage("x");
    EXPECT_EQ(runCli({ QStringLiteral("extract"), QStringLiteral("0"), path, path }).exitCode, 2);
}

TEST_F(ExtractCommandTest, MissingFileFailsNamingFileAndCause)
{
    const QString path = m_dir.filePath(QStringLiteral("absent.html"));
    const test::CliRun run = runCli({ QStringLiteral("extract"), QStringLiteral("0"), path });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains(path)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("No such file"))) << run.err.toStdString();
}

} // namespace
} // namespace shoulu
