#include "store/Database.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/StoreFailure.h"
#include "support/TempDatabase.h"

#include <QDir>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

class ReadOnlyAccessTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
        m_writer = std::move(db.value());
        ASSERT_TRUE(DomainList(m_writer->database()).addDomain(QStringLiteral("a.com")).ok());
        ASSERT_TRUE(ResultRows(m_writer->database()).addshoulu(QStringLiteral("a.com"), now(), { 7 }).ok());
        if (!GetParam()) {
            m_writer.reset(); // the last connection checkpoints and removes the log
        }
    }

    static QDateTime now() { return QDateTime::currentDateTime(); }

    TempDatabase m_temp;
    std::unique_ptr<SettingsDatabase> m_writer; // kept open: its rows still in the log
};

// Param: whether a writer holds the file open, so that its newest rows are only in the log.
TEST_P(ReadOnlyAccessTest, ViewsReadEveryCommittedRowAndWritesAreRefused)
{
    {
        auto db = SettingsDatabase::open(m_temp.path(), Access::ReadOnly);
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
        EXPECT_TRUE((*db)->isReadOnly());
        DomainList domains((*db)->database());
        ResultRows rows((*db)->database());
        const auto listed = domains.loadDomain();
        ASSERT_TRUE(listed.ok()) << listed.error().toStdString();
        EXPECT_EQ(*listed, QStringList { QStringLiteral("a.com") });
        const auto latest = rows.latestRows();
        ASSERT_TRUE(latest.ok()) << latest.error().toStdString();
        ASSERT_EQ(latest->size(), 1u);
        EXPECT_EQ(latest->at(0).counts[0], 7);

        const auto added = rows.addshoulu(QStringLiteral("a.com"), now(), { 8 });
        ASSERT_FALSE(added.ok());
        EXPECT_EQ(classifyStoreFailure(added.failure().code), StoreFailure::Unrecoverable);
        EXPECT_FALSE(domains.addDomain(QStringLiteral("b.com")).ok());
    }
    if (!GetParam()) {
        // Nothing was made beside the file by reading it.
        EXPECT_EQ(QDir(m_temp.dirPath()).entryList(QDir::Files), QStringList { QStringLiteral("setting.dat") });
    }
}

INSTANTIATE_TEST_SUITE_P(Log, ReadOnlyAccessTest, ::testing::Values(false, true),
    [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "WriterOpen" : "FileAlone"; });

} // namespace
} // namespace shoulu::test
