#include "fetch/FetchLimits.h"
#include "support/CliRunner.h"
#include "support/TempDatabase.h"
#include "util/BoundedRead.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>

namespace shoulu {
namespace {

using test::CliRun;
using test::runCli;

TEST(InputLimitTest, ReadAtMostRefusesMoreThanTheCapHavingReadOneByteBeyondIt)
{
    for (auto [size, accepted] : { std::pair { 0, true }, { 8, true }, { 9, false }, { 4000, false } }) {
        QByteArray input(size + 1, 'x'); // fmemopen wants a buffer even for no bytes
        FILE* stream = fmemopen(input.data(), size_t(size), "r");
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(readAtMost(stream, 8).ok(), accepted) << size;
        EXPECT_EQ(std::ftell(stream), accepted ? size : 9) << size;
        std::fclose(stream);
    }
}

// A sparse file one byte over the limit: every command that reads a file refuses it.
TEST(InputLimitTest, EveryFileReadingCommandRefusesAFileOverTheLimit)
{
    test::TempDatabase temp;
    ASSERT_TRUE(temp.ok()) << temp.error().toStdString();
    const QString big = temp.filePath(QStringLiteral("big"));
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(kMaxBodyBytes + 1));
    }
    const QString db = QStringLiteral("--db=") + temp.path();
    const QList<QStringList> commands { { QStringLiteral("extract"), QStringLiteral("baidu"), big },
        { db, QStringLiteral("domains"), QStringLiteral("set"), big },
        { QStringLiteral("engines"), QStringLiteral("check"), big } };
    for (const QStringList& args : commands) {
        const CliRun run = runCli(args);
        EXPECT_EQ(run.exitCode, 1) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("more than 32 MiB"))) << run.err.toStdString();
    }
}

TEST(InputLimitTest, NulBytesAreRefusedInADomainListButReadInASavedPage)
{
    test::TempDatabase temp;
    ASSERT_TRUE(temp.ok()) << temp.error().toStdString();
    const QString db = QStringLiteral("--db=") + temp.path();
    ASSERT_EQ(runCli({ db, QStringLiteral("domains"), QStringLiteral("add"), QStringLiteral("kept.com") }).exitCode, 0);

    const CliRun set
        = runCli({ db, QStringLiteral("domains"), QStringLiteral("set") }, QByteArray("a.com\n\0b.com\n", 13));
    EXPECT_EQ(set.exitCode, 1);
    EXPECT_TRUE(set.err.contains(QStringLiteral("NUL byte (byte 7)"))) << set.err.toStdString();
    EXPECT_EQ(runCli({ db, QStringLiteral("domains") }).out, QStringLiteral("kept.com\n"));

    const QByteArray page = QByteArray(1, '\0') + "<span class=\"sb_count\">8,230 results</span>";
    const CliRun extract = runCli({ QStringLiteral("extract"), QStringLiteral("bing") }, page);
    EXPECT_EQ(extract.exitCode, 0) << extract.err.toStdString();
    EXPECT_EQ(extract.out, QStringLiteral("8230\n"));
}

} // namespace
} // namespace shoulu
