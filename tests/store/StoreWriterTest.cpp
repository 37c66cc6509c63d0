#include "store/StoreWriter.h"

#include "store/CommitRetry.h"
#include "support/ForeignLock.h"
#include "support/QtTestApp.h"
#include "support/TempDatabase.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace shoulu::test {
namespace {

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

// A failure the writer has not announced yet is not announced later: stop() hands the row back.
TEST_F(StoreWriterTest, StoppingHandsBackARowThatFailedUnannounced)
{
    QSignalSpy failed(m_writer.get(), &StoreWriter::failed);
    ASSERT_TRUE(QFile::remove(m_temp.path()));
    m_writer->store(rowFor(1, QStringLiteral("gone.example")));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // no event loop: nothing announced

    const QList<RowToStore> left = m_writer->stop();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left[0].domain, QStringLiteral("gone.example"));
    QTest::qWait(50);
    EXPECT_EQ(failed.size(), 0);
}

} // namespace
} // namespace shoulu::test
