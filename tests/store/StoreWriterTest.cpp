#include "store/StoreWriter.h"

#include "store/CommitRetry.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/StoreFailure.h"
#include "support/ForeignLock.h"
#include "support/QtTestApp.h"
#include "support/TempDatabase.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

namespace shoulu::test {
namespace {

// A lock held for a second and a half outlasts the busy time-out several times over.
constexpr int kHoldMs = 1500;

StoreWriter::Timing shortTiming()
{
    StoreWriter::Timing timing;
    timing.busyTimeoutMs = 100;
    timing.retry = { 50, 200, 60 * 1000 };
    return timing;
}

RowToStore rowFor(quint64 ticket, const QString& domain)
{
    return { ticket, domain, QDateTime::currentDateTime(), { Count(ticket) }, {} };
}

TEST(StoreFailureTest, OnlyALockIsWaitedForAndOnlyTheStoreItselfStopsABatch)
{
    const struct
    {
        int code;
        StoreFailure kind;
    } cases[] = {
        { SQLITE_BUSY, StoreFailure::Transient },
        { SQLITE_BUSY_SNAPSHOT, StoreFailure::Transient },
        { SQLITE_LOCKED, StoreFailure::Transient },
        { SQLITE_READONLY_DBMOVED, StoreFailure::Unrecoverable },
        { SQLITE_READONLY, StoreFailure::Unrecoverable },
        { SQLITE_FULL, StoreFailure::Unrecoverable },
        { SQLITE_IOERR_FSYNC, StoreFailure::Unrecoverable },
        { SQLITE_CORRUPT, StoreFailure::Unrecoverable },
        { SQLITE_NOTADB, StoreFailure::Unrecoverable },
        { SQLITE_CANTOPEN, StoreFailure::Unrecoverable },
        { SQLITE_CONSTRAINT_NOTNULL, StoreFailure::RowRefused },
        { 0, StoreFailure::RowRefused },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(classifyStoreFailure(c.code), c.kind) << c.code;
    }
}

TEST(CommitRetryTest, PausesDoubleUpToTheLongestAndEndWithTheBudget)
{
    const CommitRetry retry { 1000, 8000, 60000 };
    const struct
    {
        int failures;
        qint64 waitedMs;
        std::optional<int> pause;
    } cases[] = {
        { 1, 0, 1000 },
        { 2, 1000, 2000 },
        { 4, 7000, 8000 },
        { 30, 20000, 8000 }, // no overflow however many
        { 9, 57000, 3000 }, // cut to what is left of the budget
        { 10, 60000, std::nullopt },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(retry.pauseAfter(c.failures, c.waitedMs), c.pause) << c.failures << " " << c.waitedMs;
    }
}

class StoreWriterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureQtApp();
        ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
        if (!ForeignLock::available()) {
            GTEST_SKIP() << "sqlcipher shell not installed";
        }
        auto writer = StoreWriter::open(m_temp.path());
        ASSERT_TRUE(writer.ok()) << writer.error().toStdString();
        m_writer = std::move(writer.value());
        m_writer->setTiming(shortTiming());
    }

    TempDatabase m_temp;
    std::unique_ptr<StoreWriter> m_writer;
};

TEST_F(StoreWriterTest, RowsOutlastingALockAreStoredInOrderOnceItGoes)
{
    QSignalSpy committed(m_writer.get(), &StoreWriter::committed);
    QSignalSpy waiting(m_writer.get(), &StoreWriter::waiting);
    QSignalSpy failed(m_writer.get(), &StoreWriter::failed);
    ForeignLock lock(m_temp.path(), kHoldMs);
    ASSERT_TRUE(lock.ok()) << lock.error().toStdString();
    m_writer->store(rowFor(1, QStringLiteral("  first.example ")));
    m_writer->store(rowFor(2, QStringLiteral("second.example")));

    ASSERT_TRUE(QTest::qWaitFor([&] { return committed.size() == 2 || failed.size() > 0; }, 20000));
    EXPECT_EQ(failed.size(), 0);
    EXPECT_GE(waiting.size(), 1);
    EXPECT_EQ(waiting.at(0).at(1).toString(), QStringLiteral("  first.example "));
    const auto first = committed.at(0).at(1).value<ResultRow>();
    const auto second = committed.at(1).at(1).value<ResultRow>();
    EXPECT_EQ(first.domain, QStringLiteral("first.example")); // as stored: trimmed
    EXPECT_EQ(first.counts[0], 1);
    EXPECT_EQ(second.domain, QStringLiteral("second.example"));
    EXPECT_LT(first.id, second.id);
    EXPECT_TRUE(m_writer->stop().isEmpty());

    auto db = m_temp.open();
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    ASSERT_TRUE(DomainList((*db)->database()).replaceAll({ first.domain, second.domain }).ok());
    auto rows = ResultRows((*db)->database()).latestRows();
    ASSERT_TRUE(rows.ok()) << rows.error().toStdString();
    ASSERT_EQ(rows->size(), 2u);
}

TEST_F(StoreWriterTest, StoppingUnderALockHandsBackTheRowsNotStored)
{
    QSignalSpy waiting(m_writer.get(), &StoreWriter::waiting);
    ForeignLock lock(m_temp.path());
    ASSERT_TRUE(lock.ok()) << lock.error().toStdString();
    m_writer->store(rowFor(1, QStringLiteral("first.example")));
    m_writer->store(rowFor(2, QStringLiteral("second.example")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return waiting.size() > 0; }, 10000));

    const QList<RowToStore> left = m_writer->stop();
    ASSERT_EQ(left.size(), 2);
    EXPECT_EQ(left[0].domain, QStringLiteral("first.example"));
    EXPECT_EQ(left[1].domain, QStringLiteral("second.example"));
}

} // namespace
} // namespace shoulu::test
