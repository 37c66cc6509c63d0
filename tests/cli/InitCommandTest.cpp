#include "store/DomainList.h"
#include "store/SettingsDatabase.h"
#include "support/CliRunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

using test::runCli;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(InitCommandTest, CreatesAnOpenableEmptyDatabaseAtThePathArgument)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mine.dat"));
    const test::CliRun run = runCli({ QStringLiteral("init"), path });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    auto db = SettingsDatabase::open(path);
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    EXPECT_TRUE(DomainList((*db)->database()).loadDomain()->isEmpty());
}

TEST(InitCommandTest, UsesTheDbPathWithoutArgument)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("global.dat"));
    const test::CliRun run = runCli({ QStringLiteral("--db"), path, QStringLiteral("init") });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(SettingsDatabase::open(path).ok());
}

TEST(InitCommandTest, RefusesToOverwriteAnyExistingFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setting.dat"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("precious notes, not a database");
    }
    const test::CliRun run = runCli({ QStringLiteral("init"), path });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("already exists"))) << run.err.toStdString();
    EXPECT_EQ(readAll(path), QByteArray("precious notes, not a database"));
}

TEST(InitCommandTest, RefusesToOverwriteAPreparedDatabaseAndKeepsItsList)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setting.dat"));
    ASSERT_EQ(runCli({ QStringLiteral("init"), path }).exitCode, 0);
    ASSERT_EQ(runCli({ QStringLiteral("--db"), path, QStringLiteral("domains"), QStringLiteral("add"),
                         QStringLiteral("kept.com") })
                  .exitCode,
        0);
    EXPECT_EQ(runCli({ QStringLiteral("--db"), path, QStringLiteral("init") }).exitCode, 1);
    EXPECT_EQ(runCli({ QStringLiteral("--db"), path, QStringLiteral("domains") }).out, QStringLiteral("kept.com\n"));
}

TEST(InitCommandTest, MissingDirectoryFailsAndLeavesNoFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/setting.dat"));
    const test::CliRun run = runCli({ QStringLiteral("init"), path });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.err.isEmpty());
    EXPECT_FALSE(QFile::exists(path));
}

TEST(InitCommandTest, TwoPathsOrAnOptionAreUsageErrors)
{
    QTemporaryDir dir;
    EXPECT_EQ(runCli({ QStringLiteral("init"), dir.filePath(QStringLiteral("a")), dir.filePath(QStringLiteral("b")) })
                  .exitCode,
        2);
    EXPECT_EQ(runCli({ QStringLiteral("init"), QStringLiteral("--force") }).exitCode, 2);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

} // namespace
} // namespace shoulu
