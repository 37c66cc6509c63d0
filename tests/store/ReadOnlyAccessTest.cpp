#include "store/Database.h"
#include "store/DomainList.h"
#include "store/FileAccess.h"
#include "store/ResultRows.h"
#include "store/StoreFailure.h"
#include "support/TempDatabase.h"

#include <QDir>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

TEST(FileAccessTest, ReadersFallBackToReadOnlyAndWritersAreToldWhatToFix)
{
    const QString path = QStringLiteral("/srv/shared/setting.dat");
    const struct
    {
        Access access;
        Writability writable;
        bool readOnly; // when it opens
        const char* named; // in the refusal; null when it opens
    } cases[] = {
        { Access::Read, { true, true }, false, nullptr },
        { Access::Read, { false, true }, true, nullptr },
        { Access::Read, { true, false }, true, nullptr },
        { Access::ReadOnly, { true, true }, true, nullptr },
        { Access::Write, { true, true }, false, nullptr },
        { Access::Write, { false, true }, false, "/srv/shared/setting.dat is read-only" },
        { Access::Write, { true, false }, false, "the folder /srv/shared is not writable" },
    };
    for (const auto& c : cases) {
        const Result<bool> opens = opensReadOnly(path, c.access, c.writable);
        const std::string label = std::to_string(int(c.access)) + " " + std::to_string(c.writable.file) + " "
            + std::to_string(c.writable.folder);
        if (c.named == nullptr) {
            ASSERT_TRUE(opens.ok()) << label;
            EXPECT_EQ(*opens, c.readOnly) << label;
        } else {
            ASSERT_FALSE(opens.ok()) << label;
            EXPECT_TRUE(opens.error().contains(QLatin1String(c.named))) << opens.error().toStdString();
        }
    }
}

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
