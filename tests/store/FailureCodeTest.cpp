#include "store/Database.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/StoreFailure.h"
#include "support/ForeignLock.h"
#include "support/QtTestApp.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

#include <functional>

namespace shoulu::test {
namespace {

QList<EngineReading> readingsOf(Count count)
{
    Reading reading;
    reading.status = ReadingStatus::Counted;
    reading.count = count;
    reading.rule = QStringLiteral("count: (\\d+)");
    reading.httpStatus = 200;
    reading.fetchedAt = QDateTime::currentDateTime();
    return { { QStringLiteral("baidu"), reading } };
}

// A lock held by another program must reach the writer as a lock, whatever path the write
// took through the store: sorted as anything else, the row would be dropped or the batch stopped.
TEST(FailureCodeTest, AnotherProgramsLockIsSortedTransientFromEveryWrite)
{
    ensureQtApp();
    TempDatabase temp;
    ASSERT_TRUE(temp.ok()) << temp.error().toStdString();
    if (!ForeignLock::available()) {
        GTEST_SKIP() << "sqlcipher shell not installed";
    }
    auto db = temp.open();
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    Database& connection = (*db)->database();
    ResultRows rows(connection);
    const auto stored = rows.addshoulu(QStringLiteral("a.com"), QDateTime::currentDateTime(), { 1 }, readingsOf(1));
    ASSERT_TRUE(stored.ok()) << stored.error().toStdString();
    connection.setBusyTimeout(100);

    const struct
    {
        const char* what;
        std::function<Result<void>()> write;
    } cases[] = {
        { "new row with a new rule",
            [&]() -> Result<void> {
                auto id = rows.addshoulu(QStringLiteral("b.com"), QDateTime::currentDateTime(), { 2 }, readingsOf(2));
                return id ? Result<void>() : id.failure();
            } },
        { "readings replaced", [&] { return rows.replaceReadings(*stored, readingsOf(3)); } },
        { "domain added", [&] { return DomainList(connection).addDomain(QStringLiteral("c.com")); } },
        { "domain removed", [&] { return DomainList(connection).removeDomain(QStringLiteral("a.com")); } },
    };
    ForeignLock lock(temp.path());
    ASSERT_TRUE(lock.ok()) << lock.error().toStdString();
    for (const auto& c : cases) {
        const Result<void> written = c.write();
        ASSERT_FALSE(written.ok()) << c.what;
        EXPECT_EQ(classifyStoreFailure(written.failure().code), StoreFailure::Transient)
            << c.what << ": " << written.failure().code << " " << written.error().toStdString();
    }
}

} // namespace
} // namespace shoulu::test
