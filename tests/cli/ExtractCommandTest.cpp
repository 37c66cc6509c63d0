#include "support/CliRunner.h"
#include "support/GbkPages.h"

#include <QDir>
#include <QFile>
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
