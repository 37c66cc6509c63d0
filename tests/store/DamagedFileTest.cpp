#include "store/Database.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"
#include "store/Transaction.h"
#include "support/ForeignLock.h"
#include "support/QtTestApp.h"
#include "support/ReadOnlyFile.h"
#include "support/TempDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

// Readable failure output for QString and QStringList.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace shoulu::test {
namespace {

// How long the store waits for another process's lock; the store's own figure is private, so
// the test bounds it from both sides instead.
constexpr int kLockWaitAtLeastMs = 1000;
constexpr int kLockWaitAtMostMs = 15000;

struct StoredRow
{
    QString domain;
    EngineCounts counts {};
    bool operator==(const StoredRow&) const = default;
};

std::ostream& operator<<(std::ostream& out, const StoredRow& row)
{
    return out << row.domain.toStdString() << " " << row.counts[0] << ".." << row.counts[6];
}

StoredRow rowNumber(int i)
{
    StoredRow row { QStringLiteral("d%1.example").arg(i, 5, 10, QLatin1Char('0')), {} };
    for (size_t engine = 0; engine < row.counts.size(); ++engine) {
        row.counts[engine] = Count(i) * 10 + Count(engine);
    }
    return row;
}

const QDateTime kQueryTime(QDate(2024, 5, 6), QTime(7, 8, 9));

Result<void> store(Database& db, const StoredRow& row)
{
    if (auto id = ResultRows(db).addshoulu(row.domain, kQueryTime, row.counts); !id) {
        return id.failure();
    }
    return {};
}

// Every row of table shoulu in storage order, read without the views' domain filter.
Result<std::vector<StoredRow>> allRows(Database& db)
{
    auto statement
        = db.prepare("SELECT domain, baidu, google, soso, yahoo, sogou, youdao, bing FROM shoulu ORDER BY id");
    if (!statement) {
        return Error { statement.error() };
    }
    std::vector<StoredRow> rows;
    for (;;) {
        auto more = statement->step();
        if (!more) {
            return Error { more.error() };
        }
        if (!*more) {
            return rows;
        }
        StoredRow& row = rows.emplace_back();
        row.domain = statement->textAt(0);
        for (int engine = 0; engine < EngineCount; ++engine) {
            row.counts[size_t(engine)] = statement->int64At(1 + engine);
        }
    }
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// A prepared file holding `count` committed rows, closed again (so the file alone holds them).
class DamagedFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureQtApp();
        ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
    }

    void seed(int count)
    {
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
        Database& connection = (*db)->database();
        const Result<void> stored = inTransaction(connection, [&]() -> Result<void> {
            for (int i = 0; i < count; ++i) {
                m_rows.push_back(rowNumber(i));
                if (auto added = store(connection, m_rows.back()); !added) {
                    return added;
                }
            }
            return {};
        });
        ASSERT_TRUE(stored.ok()) << stored.error().toStdString();
        auto size = connection.prepare("PRAGMA page_size");
        ASSERT_TRUE(size.ok() && *size->step());
        m_pageSize = size->int64At(0);
    }

    // Opens `path` and checks that it holds exactly the rows committed so far.
    void expectEveryCommittedRow(const QString& path)
    {
        auto db = SettingsDatabase::open(path);
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
        auto rows = allRows((*db)->database());
        ASSERT_TRUE(rows.ok()) << rows.error().toStdString();
        EXPECT_EQ(*rows, m_rows);
    }

    TempDatabase m_temp;
    std::vector<StoredRow> m_rows;
    qint64 m_pageSize = 0;
};

// ---- read-only ---------------------------------------------------------------------------------

TEST_F(DamagedFileTest, ReadOnlyFileOpensAndThenFailsEveryCommit)
{
    seed(20);
    const QByteArray before = readAll(m_temp.path());
    {
        ReadOnlyFile readOnly(m_temp.path());
        if (!readOnly.effective()) {
            GTEST_SKIP() << "cannot make a file read-only for this process here";
        }
        auto db = SettingsDatabase::open(m_temp.path());
        ASSERT_FALSE(db.ok()) << "a read-only file opened; every result would be lost";
        EXPECT_TRUE(db.error().contains(m_temp.path())) << db.error().toStdString();
        EXPECT_TRUE(db.error().contains(QStringLiteral("read-only"))) << db.error().toStdString();
    }
    EXPECT_EQ(readAll(m_temp.path()), before);
    EXPECT_EQ(entries(m_temp.dirPath()), QStringList { QStringLiteral("setting.dat") });
    expectEveryCommittedRow(m_temp.path());
}

// ---- locked by another process -----------------------------------------------------------------

TEST_F(DamagedFileTest, LockHeldByAnotherProcessMakesTheCommitWaitForEverOrFailSilently)
{
    if (!ForeignLock::available()) {
        GTEST_SKIP() << "sqlcipher shell not installed";
    }
    seed(5);
    auto db = m_temp.open();
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    Database& connection = (*db)->database();

    ForeignLock lock(m_temp.path());
    ASSERT_TRUE(lock.ok()) << lock.error().toStdString();
    // Readers are not held up by a writer: the history stays visible.
    EXPECT_TRUE(ResultRows(connection).latestRows().ok());

    QElapsedTimer clock;
    clock.start();
    const Result<void> blocked = store(connection, rowNumber(100));
    const qint64 waited = clock.elapsed();
    ASSERT_FALSE(blocked.ok());
    EXPECT_TRUE(blocked.error().contains(QStringLiteral("locked"))) << blocked.error().toStdString();
    EXPECT_GE(waited, kLockWaitAtLeastMs);
    EXPECT_LE(waited, kLockWaitAtMostMs);

    lock.release();
    m_rows.push_back(rowNumber(101));
    const Result<void> after = store(connection, m_rows.back());
    ASSERT_TRUE(after.ok()) << after.error().toStdString();
    db->reset();
    expectEveryCommittedRow(m_temp.path());
}

TEST_F(DamagedFileTest, LockReleasedWithinTheBusyTimeOutStillFailsTheCommit)
{
    if (!ForeignLock::available()) {
        GTEST_SKIP() << "sqlcipher shell not installed";
    }
    seed(5);
    auto db = m_temp.open();
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    constexpr int holdMs = 800;
    ForeignLock lock(m_temp.path(), holdMs);
    ASSERT_TRUE(lock.ok()) << lock.error().toStdString();
    QElapsedTimer clock;
    clock.start();
    m_rows.push_back(rowNumber(200));
    const Result<void> stored = store((*db)->database(), m_rows.back());
    ASSERT_TRUE(stored.ok()) << stored.error().toStdString();
    EXPECT_GE(clock.elapsed(), holdMs / 2) << "the commit did not wait for the lock at all";
    db->reset();
    expectEveryCommittedRow(m_temp.path());
}

// A file never opened by the program keeps the rollback journal, where a writer's lock shuts
// out readers too: the open must give up with the cause rather than hang.
TEST_F(DamagedFileTest, OpenOfAFileLockedAgainstReadersHangs)
{
    if (!ForeignLock::available()) {
        GTEST_SKIP() << "sqlcipher shell not installed";
    }
    ForeignLock lock(m_temp.path());
    ASSERT_TRUE(lock.ok()) << lock.error().toStdString();
    QElapsedTimer clock;
    clock.start();
    auto db = SettingsDatabase::open(m_temp.path());
    const qint64 waited = clock.elapsed();
    ASSERT_FALSE(db.ok());
    EXPECT_TRUE(db.error().contains(QStringLiteral("locked"))) << db.error().toStdString();
    EXPECT_GE(waited, kLockWaitAtLeastMs);
    EXPECT_LE(waited, kLockWaitAtMostMs);
    lock.release();
    EXPECT_TRUE(SettingsDatabase::open(m_temp.path()).ok());
}

// ---- truncated or overwritten ------------------------------------------------------------------

// Where damage shows. A full check of every page at open would cost seconds on a file of a
// million rows, so damage inside pages that open does not read shows when they are read.
enum class Shows { AtOpen, WhenRead };

struct Damage
{
    const char* fault;
    // Changes the file's bytes; gets the page size.
    std::function<QByteArray(const QByteArray&, qint64)> apply;
    Shows shows;
};

std::ostream& operator<<(std::ostream& out, const Damage& damage)
{
    return out << damage.fault;
}

class DamagedBytesTest : public DamagedFileTest, public ::testing::WithParamInterface<Damage>
{
};

// A damaged file must fail with the cause, not give rows back as if whole; and nothing the
// program does with it may harm the rest: the undamaged bytes (restored here) still hold
// every row.
TEST_P(DamagedBytesTest, DamagedFileServesRowsAsIfWhole)
{
    seed(1500);
    const QByteArray original = readAll(m_temp.path());
    ASSERT_GT(original.size(), 20 * m_pageSize);
    const QByteArray damaged = GetParam().apply(original, m_pageSize);
    ASSERT_NE(damaged, original);
    ASSERT_TRUE(writeAll(m_temp.path(), damaged));

    {
        auto db = SettingsDatabase::open(m_temp.path());
        if (GetParam().shows == Shows::AtOpen) {
            ASSERT_FALSE(db.ok()) << "a damaged file opened";
            EXPECT_TRUE(db.error().contains(m_temp.path())) << db.error().toStdString();
            EXPECT_TRUE(db.error().contains(QStringLiteral("damaged"))) << db.error().toStdString();
        } else {
            ASSERT_TRUE(db.ok()) << db.error().toStdString();
            auto rows = allRows((*db)->database());
            ASSERT_FALSE(rows.ok()) << rows->size() << " rows read from a damaged file";
            EXPECT_TRUE(rows.error().contains(QStringLiteral("is damaged: set it aside and make a new one")))
                << rows.error().toStdString();
        }
    }
    EXPECT_EQ(readAll(m_temp.path()), damaged);

    ASSERT_TRUE(writeAll(m_temp.path(), original));
    expectEveryCommittedRow(m_temp.path());
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedBytesTest,
    ::testing::Values(
        Damage { "TruncatedToHalfAtAPageBoundary",
            [](const QByteArray& bytes, qint64 page) { return bytes.left(bytes.size() / page / 2 * page); },
            Shows::AtOpen },
        Damage { "TruncatedInsideThePage",
            [](const QByteArray& bytes, qint64 page) { return bytes.left(bytes.size() - page / 2); }, Shows::AtOpen },
        Damage { "LastPageGone", [](const QByteArray& bytes, qint64 page) { return bytes.left(bytes.size() - page); },
            Shows::AtOpen },
        // Eight pages, so that the table's own pages are hit and not only an index's.
        Damage { "MiddlePagesOverwritten",
            [](const QByteArray& bytes, qint64 page) {
                QByteArray out = bytes;
                for (qint64 at = bytes.size() / page / 2 * page; at < bytes.size() / page / 2 * page + 8 * page;
                     at += page) {
                    out.replace(at + page / 3, 40, QByteArray(40, '\xA5'));
                }
                return out;
            },
            Shows::WhenRead },
        Damage { "OneBitFlippedInEachOfTheLastPages",
            [](const QByteArray& bytes, qint64 page) {
                QByteArray out = bytes;
                for (qint64 at = bytes.size() - page / 2; at > bytes.size() - 8 * page; at -= page) {
                    out[at] = char(out[at] ^ 0x10);
                }
                return out;
            },
            Shows::WhenRead }),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.fault); });

// ---- replaced or deleted while open ------------------------------------------------------------

struct Replacement
{
    const char* fault;
    // Puts something else at the path (or nothing); gets the directory.
    std::function<void(const QString& path, const QString& dir)> apply;
};

std::ostream& operator<<(std::ostream& out, const Replacement& replacement)
{
    return out << replacement.fault;
}

class ReplacedFileTest : public DamagedFileTest, public ::testing::WithParamInterface<Replacement>
{
};

// Once the path no longer leads to the open file, a commit would land in a file nobody can
// reach again: it must fail with the cause. The file that now stands at the path is not
// touched, and the original (kept here through a second name) holds every earlier row.
TEST_P(ReplacedFileTest, CommitIntoAFileNoLongerAtItsPathReportsSuccess)
{
    seed(20);
    auto db = m_temp.open();
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    Database& connection = (*db)->database();
    m_rows.push_back(rowNumber(20));
    ASSERT_TRUE(store(connection, m_rows.back()).ok());

    const QString kept = m_temp.filePath(QStringLiteral("kept.dat"));
    ASSERT_EQ(::link(m_temp.path().toLocal8Bit().constData(), kept.toLocal8Bit().constData()), 0);
    GetParam().apply(m_temp.path(), m_temp.dirPath());
    const QByteArray standing = readAll(m_temp.path());

    const Result<void> row = store(connection, rowNumber(21));
    ASSERT_FALSE(row.ok()) << "a row went into a file no longer at " << m_temp.path().toStdString();
    EXPECT_TRUE(row.error().contains(m_temp.path())) << row.error().toStdString();
    EXPECT_TRUE(row.error().contains(QStringLiteral("replaced or deleted"))) << row.error().toStdString();
    const Result<void> domain = DomainList(connection).addDomain(QStringLiteral("new.example"));
    EXPECT_FALSE(domain.ok());
    const Result<void> list = DomainList(connection).replaceAll({ QStringLiteral("other.example") });
    EXPECT_FALSE(list.ok());
    // What was stored before stays readable.
    EXPECT_TRUE(allRows(connection).ok());

    db->reset();
    EXPECT_EQ(readAll(m_temp.path()), standing);
    expectEveryCommittedRow(kept);
}

INSTANTIATE_TEST_SUITE_P(Files, ReplacedFileTest,
    ::testing::Values(Replacement { "AnotherDatabaseMovedOver",
                          [](const QString& path, const QString& dir) {
                              const QString other = QDir(dir).filePath(QStringLiteral("other.dat"));
                              ASSERT_TRUE(SettingsDatabase::create(other).ok());
                              ASSERT_EQ(::rename(other.toLocal8Bit().constData(), path.toLocal8Bit().constData()), 0);
                          } },
        Replacement { "TextFileMovedOver",
            [](const QString& path, const QString& dir) {
                const QString other = QDir(dir).filePath(QStringLiteral("notes.txt"));
                ASSERT_TRUE(writeAll(other, "not a database\n"));
                ASSERT_EQ(::rename(other.toLocal8Bit().constData(), path.toLocal8Bit().constData()), 0);
            } },
        Replacement { "Deleted", [](const QString& path, const QString&) { ASSERT_TRUE(QFile::remove(path)); } }),
    [](const ::testing::TestParamInfo<Replacement>& info) { return std::string(info.param.fault); });

// ---- what kind of file it is ------------------------------------------------------------------

// The opening checks say which of missing, damaged or foreign a file is, and what to do.
TEST(FileProblemTest, OpeningSaysWhichProblemAndWhatToDo)
{
    using P = SettingsDatabase::Problem;
    struct Case
    {
        const char* name;
        std::function<void(const QString& path)> make;
        P problem;
    };
    const Case cases[] = {
        { "missing", [](const QString&) {}, P::Missing },
        { "text file", [](const QString& path) { writeAll(path, "domain,date\nexample.com,2024-01-01\n"); },
            P::Foreign },
        { "empty", [](const QString& path) { writeAll(path, {}); }, P::Damaged },
        { "plain SQLite",
            [](const QString& path) {
                auto db = Database::open(path, Database::OpenMode::CreateNew);
                ASSERT_TRUE(db.ok() && (*db)->exec("CREATE TABLE notes (text TEXT)").ok());
            },
            P::Foreign },
        { "keyed alike, other tables",
            [](const QString& path) {
                auto db = Database::open(path, Database::OpenMode::CreateNew);
                ASSERT_TRUE(db.ok() && (*db)->key(QByteArray("蓝杉木舟北岸晚钟声远")).ok());
                ASSERT_TRUE((*db)->exec("CREATE TABLE notes (text TEXT)").ok());
            },
            P::Foreign },
        { "first page zeroed",
            [](const QString& path) {
                ASSERT_TRUE(SettingsDatabase::create(path).ok());
                QByteArray bytes = readAll(path);
                bytes.replace(0, 1024, QByteArray(1024, '\0'));
                writeAll(path, bytes);
            },
            P::Damaged },
        { "whole", [](const QString& path) { ASSERT_TRUE(SettingsDatabase::create(path).ok()); }, P::None },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("setting.dat"));
        c.make(path);
        const QByteArray before = readAll(path);
        EXPECT_EQ(SettingsDatabase::examine(path), c.problem);
        auto opened = SettingsDatabase::open(path);
        EXPECT_EQ(opened.ok(), c.problem == P::None);
        if (!opened) {
            EXPECT_TRUE(opened.error().contains(path)) << opened.error().toStdString();
            EXPECT_EQ(opened.error().contains(QStringLiteral("set it aside and make a new one with 'shoulu-cli init'")),
                c.problem != P::Missing)
                << opened.error().toStdString();
            EXPECT_EQ(readAll(path), before); // left as it was
        }
    }
}

} // namespace
} // namespace shoulu::test
