#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "fetch/THTTPGetThread.h"
#include "query/BatchScheduler.h"
#include "query/DomainQuery.h"
#include "store/Database.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/StoreWriter.h"
#include "support/EngineServer.h"
#include "support/ForeignLock.h"
#include "support/QueryFixture.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

namespace shoulu::test {
namespace {

const QStringList kDomains
    = { QStringLiteral("one.example"), QStringLiteral("two.example"), QStringLiteral("three.example") };
const QStringList kEarlier = { QStringLiteral("earlier-a.example"), QStringLiteral("earlier-b.example") };

// Domains of every row of table shoulu, in storage order.
QStringList storedDomains(const QString& path)
{
    auto db = SettingsDatabase::open(path);
    if (!db) {
        ADD_FAILURE() << db.error().toStdString();
        return {};
    }
    auto statement = (*db)->database().prepare("SELECT domain FROM shoulu ORDER BY id");
    if (!statement) {
        ADD_FAILURE() << statement.error().toStdString();
        return {};
    }
    QStringList domains;
    while (true) {
        auto row = statement->step();
        if (!row) {
            ADD_FAILURE() << row.error().toStdString();
            return domains;
        }
        if (!*row) {
            return domains;
        }
        domains << statement->textAt(0);
    }
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct FileFault
{
    const char* fault;
    // Done to setting.dat once the batch's first row is stored.
    std::function<void(const QString& path, const QString& dir, std::unique_ptr<ForeignLock>& lock)> apply;
    bool needsShell;
    bool replacesTheFile; // whatever stands at the path afterwards must stay untouched
    QStringList stored; // the batch's rows that must be in the file afterwards
    const char* cause; // in every error reported
    QStringList failed; // the domains named by errors; the batch stops at the first
};

std::ostream& operator<<(std::ostream& out, const FileFault& fault)
{
    return out << fault.fault;
}

// The shared query set-up, talking to the local engines, with the store retrying quickly.
class CommitFailureTest : public QueryFixture, public ::testing::WithParamInterface<FileFault>
{
protected:
    void SetUp() override
    {
        QueryFixture::SetUp();
        for (int i = 0; i < EngineCount; ++i) {
            m_engines.setDefault(i, { 100 + i });
        }
    }

    void prepareQuery(DomainQuery& query) override
    {
        query.setProxy(ProxySetting::via(m_engines.proxyUrl()));
        StoreWriter::Timing timing;
        timing.busyTimeoutMs = 200;
        timing.retry = { 100, 400, 60 * 1000 };
        query.setStoreTiming(timing);
    }

    EngineServer m_engines;
};

// A lock is waited out and costs no row; a file that can no longer be written stops the batch
// at the first row it refuses, named in the error; the rows stored before it all stay.
TEST_P(CommitFailureTest, LockIsWaitedOutAndABrokenFileStopsTheBatchKeepingEarlierRows)
{
    const FileFault& fault = GetParam();
    if (fault.needsShell && !ForeignLock::available()) {
        GTEST_SKIP() << "sqlcipher shell not installed";
    }
    for (const QString& domain : kEarlier) {
        ASSERT_TRUE(m_rows->addshoulu(domain, QDateTime::currentDateTime().addDays(-1), {}).ok());
    }
    ASSERT_TRUE(m_domains->replaceAll(kDomains).ok());
    // A second name for the file, which keeps it reachable whatever becomes of the path.
    const QString kept = m_temp.filePath(QStringLiteral("kept.dat"));
    ASSERT_EQ(::link(QFile::encodeName(m_temp.path()).constData(), QFile::encodeName(kept).constData()), 0);

    std::unique_ptr<ForeignLock> lock;
    QStringList errors;
    QByteArray standing;
    bool applied = false;
    QObject::connect(m_query.get(), &DomainQuery::rowCommitted, [&] {
        if (!applied) {
            applied = true;
            fault.apply(m_temp.path(), m_temp.dirPath(), lock);
            standing = readAll(m_temp.path());
        }
    });
    QObject::connect(m_query.get(), &DomainQuery::errorOccurred, [&](const QString& error) { errors << error; });

    ASSERT_EQ(m_batch->start(kDomains, 1), BatchScheduler::StartResult::Started);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_query->isBusy(); }, 30000)) << "the batch never ended";
    QTest::qWait(100);
    ASSERT_TRUE(applied);
    ASSERT_FALSE(lock && !lock->ok()) << lock->error().toStdString();

    EXPECT_EQ(m_finished, 1);
    // A stopped batch asks about no domain after the one it stopped at.
    EXPECT_EQ(m_query->state().TotalReplies, int(fault.stored.size() + fault.failed.size()) * EnginesPerDomain);
    EXPECT_FALSE(m_timer.isActive());
    ASSERT_EQ(errors.size(), fault.failed.size()) << errors.join(QLatin1Char('\n')).toStdString();
    for (qsizetype i = 0; i < errors.size(); ++i) {
        EXPECT_TRUE(errors[i].contains(QLatin1String(fault.cause))) << errors[i].toStdString();
        EXPECT_TRUE(errors[i].contains(fault.failed[i])) << errors[i].toStdString();
    }

    closeStore();
    if (fault.replacesTheFile) {
        EXPECT_EQ(readAll(m_temp.path()), standing) << "the file now at the path was written to";
    }
    EXPECT_EQ(storedDomains(kept), kEarlier + fault.stored);
}

INSTANTIATE_TEST_SUITE_P(Files, CommitFailureTest,
    ::testing::Values(
        // Held well past the busy time-out: the rows wait in memory and all go in.
        FileFault { "LockedByAnotherProcess",
            [](const QString& path, const QString&, std::unique_ptr<ForeignLock>& lock) {
                lock = std::make_unique<ForeignLock>(path, 2500);
            },
            true, false, kDomains, "", {} },
        FileFault { "AnotherFileMovedOver",
            [](const QString& path, const QString& dir, std::unique_ptr<ForeignLock>&) {
                const QString other = QDir(dir).filePath(QStringLiteral("other.dat"));
                ASSERT_TRUE(SettingsDatabase::create(other).ok());
                ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
            },
            false, true, { kDomains[0] }, "replaced or deleted", { kDomains[1] } },
        FileFault { "Deleted",
            [](const QString& path, const QString&, std::unique_ptr<ForeignLock>&) {
                ASSERT_TRUE(QFile::remove(path));
            },
            false, true, { kDomains[0] }, "replaced or deleted", { kDomains[1] } }),
    [](const ::testing::TestParamInfo<FileFault>& info) { return std::string(info.param.fault); });

} // namespace
} // namespace shoulu::test
