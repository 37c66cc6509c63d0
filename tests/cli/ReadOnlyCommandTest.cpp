#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "support/CliRunner.h"
#include "support/ReadOnlyFile.h"
#include "support/TempDatabase.h"

#include <QDir>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

class ReadOnlyCommandTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
        ASSERT_TRUE(DomainList((*db)->database()).addDomain(QStringLiteral("a.com")).ok());
        ASSERT_TRUE(
            ResultRows((*db)->database()).addshoulu(QStringLiteral("a.com"), QDateTime::currentDateTime(), { 7 }).ok());
    }

    CliRun cli(const QStringList& args) { return runCli(QStringList { QStringLiteral("--db"), m_temp.path() } + args); }

    TempDatabase m_temp;
};

// Param: the folder is read-only (else the file is).
TEST_P(ReadOnlyCommandTest, ListingsWorkAndWritingCommandsSayWhatIsNotWritable)
{
    const QString locked = GetParam() ? m_temp.dirPath() : m_temp.path();
    ReadOnlyFile readOnly(locked);
    if (!readOnly.effective()) {
        GTEST_SKIP() << "cannot make a file read-only for this process here";
    }
    const CliRun domains = cli({ QStringLiteral("domains") });
    EXPECT_EQ(domains.exitCode, 0) << domains.err.toStdString();
    EXPECT_EQ(domains.out, QStringLiteral("a.com\n"));
    const CliRun history = cli({ QStringLiteral("history"), QStringLiteral("--format"), QStringLiteral("csv") });
    EXPECT_EQ(history.exitCode, 0) << history.err.toStdString();
    EXPECT_TRUE(history.out.contains(QStringLiteral("a.com,"))) << history.out.toStdString();

    const QString cause = GetParam() ? QStringLiteral("the folder %1 is not writable").arg(m_temp.dirPath())
                                     : QStringLiteral("%1 is read-only").arg(m_temp.path());
    for (const QStringList& args :
        { QStringList { QStringLiteral("domains"), QStringLiteral("add"), QStringLiteral("b.com") },
            QStringList { QStringLiteral("query"), QStringLiteral("b.com") },
            QStringList { QStringLiteral("batch") } }) {
        const CliRun refused = cli(args);
        EXPECT_EQ(refused.exitCode, 1) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(refused.err.contains(cause)) << refused.err.toStdString();
    }
    EXPECT_EQ(QDir(m_temp.dirPath()).entryList(QDir::Files), QStringList { QStringLiteral("setting.dat") });
}

TEST(InitInReadOnlyFolderTest, TheFolderIsNamed)
{
    QTemporaryDir dir;
    ReadOnlyFile readOnly(dir.path());
    if (!readOnly.effective()) {
        GTEST_SKIP() << "cannot make a folder read-only for this process here";
    }
    const CliRun init
        = runCli({ QStringLiteral("--db"), dir.filePath(QStringLiteral("setting.dat")), QStringLiteral("init") });
    EXPECT_EQ(init.exitCode, 1);
    EXPECT_TRUE(init.err.contains(QStringLiteral("the folder %1 is not writable").arg(dir.path())))
        << init.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Which, ReadOnlyCommandTest, ::testing::Values(false, true),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Folder" : "File"; });

} // namespace
} // namespace shoulu::test
