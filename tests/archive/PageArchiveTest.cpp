#include "archive/PageArchive.h"

#include "archive/ArchiveRetention.h"
#include "archive/ArchiveWriter.h"
#include "store/Database.h"
#include "store/StoreFailure.h"
#include "support/ArchivedReply.h"
#include "support/GbkPages.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace shoulu {
namespace {

struct KeptPage
{
    Reply reply;
    bool trusted = true;
};

KeptPage page(const QByteArray& body, qint64 fetchedAt = 1'700'000'000, const QString& engine = QStringLiteral("baidu"),
    bool trusted = true)
{
    return { archivedReply(QStringLiteral("a.example"), engine, fetchedAt,
                 "https://www.baidu.com/s?wd=site%3Aa.example", 200, "text/html", body),
        trusted };
}

qint64 scalar(PageArchive& archive, const char* sql)
{
    auto statement = archive.database().prepare(sql);
    return statement && *statement->step() ? statement->int64At(0) : -1;
}

class PageArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto opened = PageArchive::open(path(), PageArchive::Mode::CreateIfMissing);
        ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
        m_archive = std::move(*opened);
    }
    QString path() const { return m_dir.filePath(QStringLiteral("pages.dat")); }
    qint64 store(const KeptPage& kept)
    {
        auto id = m_archive->store(kept.reply, kept.trusted);
        EXPECT_TRUE(id.ok()) << id.error().toStdString();
        return id ? *id : 0;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<PageArchive> m_archive;
};

// Another connection's write lock must reach the caller as a lock: writers wait on it and
// give up on anything else.
TEST_F(PageArchiveTest, AnotherWritersLockReachesTheCallerWithItsCode)
{
    auto other = Database::open(path(), Database::OpenMode::Existing);
    ASSERT_TRUE(other.ok()) << other.error().toStdString();
    ASSERT_TRUE((*other)->exec("BEGIN IMMEDIATE").ok());
    m_archive->database().setBusyTimeout(50);
    const KeptPage locked = page("<html>locked</html>");
    const auto stored = m_archive->store(locked.reply, locked.trusted);
    ASSERT_FALSE(stored.ok());
    EXPECT_EQ(classifyStoreFailure(stored.failure().code), StoreFailure::Transient)
        << stored.failure().code << " " << stored.error().toStdString();
}

TEST_F(PageArchiveTest, BodiesComeBackByteForByte)
{
    QByteArray large(32 * 1024 * 1024, Qt::Uninitialized);
    std::mt19937 random(7);
    for (char& c : large) {
        c = static_cast<char>(random() % 64); // compressible, but not to nothing
    }
    const QByteArray bodies[] = {
        test::resultPageGbk(0, "约1,230"),
        QByteArray("<html>\0before\0\0after</html>", 28),
        large,
        QByteArray(),
    };
    std::vector<qint64> ids;
    for (const QByteArray& body : bodies) {
        ids.push_back(store(page(body)));
    }
    m_archive.reset();
    auto reopened = PageArchive::open(path(), PageArchive::Mode::Existing);
    ASSERT_TRUE(reopened.ok()) << reopened.error().toStdString();
    for (size_t i = 0; i < ids.size(); ++i) {
        auto body = (*reopened)->body(ids[i]);
        ASSERT_TRUE(body.ok()) << body.error().toStdString();
        EXPECT_TRUE(*body == bodies[i]) << "body " << i;
    }
}

TEST_F(PageArchiveTest, IdenticalBodiesAreKeptOnce)
{
    const QByteArray body = test::resultPageUtf8(1, "About 5,000");
    const qint64 first = store(page(body, 100));
    const qint64 second = store(page(body, 200, QStringLiteral("google")));
    EXPECT_NE(first, second);
    EXPECT_EQ(scalar(*m_archive, "SELECT count(*) FROM body"), 1);
    EXPECT_EQ(m_archive->facts(second)->engine, QStringLiteral("google"));
    EXPECT_TRUE(*m_archive->body(second) == body);
}

TEST_F(PageArchiveTest, PagesFromBeforeTheDictionaryStayReadable)
{
    std::mt19937 random(11);
    QByteArray fixed;
    while (fixed.size() < 64 * 1024) {
        fixed += "<div class=\"c-" + QByteArray::number(random() % 5000) + "\">";
    }
    std::vector<std::pair<qint64, QByteArray>> stored;
    for (int i = 0; i <= PageArchive::TrainAfter; ++i) {
        const QByteArray body = fixed + QByteArray::number(random()) + test::resultPageUtf8(0, QByteArray::number(i));
        stored.emplace_back(store(page(body, 1000 + i)), body);
    }
    ASSERT_EQ(scalar(*m_archive, "SELECT count(*) FROM dictionary WHERE engine = 'baidu'"), 1);
    EXPECT_EQ(scalar(*m_archive, "SELECT count(*) FROM body WHERE dictionary_id IS NOT NULL"), 1);
    for (const auto& [id, body] : stored) {
        EXPECT_TRUE(*m_archive->body(id) == body) << "page " << id;
    }
}

// What 查看网页 asks for: the newest fetch of that engine, domain (any letter case) and time.
TEST_F(PageArchiveTest, ReadingFindsItsPageOrSaysItIsNotArchived)
{
    store(page("<html>first</html>", 500));
    store(page("<html>again</html>", 500));
    store(page("<html>bing</html>", 500, QStringLiteral("bing")));
    struct Case
    {
        QString domain;
        QString engine;
        qint64 fetchedAt;
        QByteArray body; // empty: not archived
    };
    const Case cases[] = {
        { QStringLiteral("a.example"), QStringLiteral("baidu"), 500, "<html>again</html>" },
        { QStringLiteral("A.Example"), QStringLiteral("bing"), 500, "<html>bing</html>" },
        { QStringLiteral("a.example"), QStringLiteral("baidu"), 501, {} },
        { QStringLiteral("b.example"), QStringLiteral("baidu"), 500, {} },
    };
    for (const Case& c : cases) {
        auto found = m_archive->pageOf(c.domain, c.engine, c.fetchedAt);
        ASSERT_EQ(found.ok(), !c.body.isEmpty()) << c.engine.toStdString() << " " << c.fetchedAt;
        if (found) {
            EXPECT_EQ(found->second, c.body);
            EXPECT_EQ(found->first.engine, c.engine);
            EXPECT_EQ(found->first.contentType, QByteArray("text/html"));
        } else {
            EXPECT_EQ(found.error(), QStringLiteral("the page of this reading is not in the archive"));
        }
    }
}

TEST_F(PageArchiveTest, RetentionGivesUpOldPagesAndPagesWithAFigureFirst)
{
    const qint64 day = 86400;
    const qint64 now = 1'800'000'000;
    std::mt19937 random(3);
    const auto noise = [&random] {
        QByteArray bytes(4096, Qt::Uninitialized);
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        return bytes;
    };
    const qint64 tooOld = store(page(noise(), now - 200 * day, QStringLiteral("baidu"), false));
    const qint64 oldTrusted = store(page(noise(), now - 10 * day, QStringLiteral("baidu"), true));
    const qint64 oldBlocked = store(page(noise(), now - 9 * day, QStringLiteral("baidu"), false));
    const qint64 newTrusted = store(page(noise(), now - 8 * day, QStringLiteral("baidu"), true));
    const qint64 newBlocked = store(page(noise(), now - 7 * day, QStringLiteral("baidu"), false));
    ArchiveRetention retention(*m_archive);
    // Room for two of the four pages that are young enough.
    ASSERT_TRUE(retention.setLimits({ 180, 2 * 4200 }).ok());
    auto pruned = retention.prune(now);
    ASSERT_TRUE(pruned.ok()) << pruned.error().toStdString();
    EXPECT_EQ(pruned->fetches, 3);
    for (const qint64 gone : { tooOld, oldTrusted, newTrusted }) {
        EXPECT_FALSE(m_archive->facts(gone).ok()) << "page " << gone;
    }
    for (const qint64 kept : { oldBlocked, newBlocked }) {
        EXPECT_TRUE(m_archive->facts(kept).ok()) << "page " << kept;
    }
    EXPECT_EQ(scalar(*m_archive, "SELECT count(*) FROM body"), 2);
}

// An archive of the first layout gains the incomplete mark on opening, its pages kept; a page
// cut short comes back marked.
TEST_F(PageArchiveTest, EarlierLayoutLosesItsPagesOrTheIncompleteMark)
{
    const qint64 kept = store(page("<html>old</html>", 100));
    // The first layout's fetch table, as it was made.
    const auto downgraded = m_archive->database().exec(
        "CREATE TABLE old (id INTEGER PRIMARY KEY, domain TEXT NOT NULL COLLATE NOCASE, engine TEXT NOT NULL,"
        " fetched_at INTEGER NOT NULL, final_url TEXT, http_status INTEGER NOT NULL, content_type TEXT,"
        " trusted INTEGER NOT NULL, body_id INTEGER NOT NULL);"
        " INSERT INTO old SELECT id, domain, engine, fetched_at, final_url, http_status, content_type, trusted,"
        " body_id FROM fetch; DROP TABLE fetch; ALTER TABLE old RENAME TO fetch; PRAGMA user_version = 1");
    ASSERT_TRUE(downgraded.ok()) << downgraded.error().toStdString();
    m_archive.reset();
    auto reopened = PageArchive::open(path(), PageArchive::Mode::Existing);
    ASSERT_TRUE(reopened.ok()) << reopened.error().toStdString();
    m_archive = std::move(*reopened);
    EXPECT_EQ(scalar(*m_archive, "PRAGMA user_version"), 2);
    ASSERT_TRUE(m_archive->body(kept).ok());
    EXPECT_EQ(*m_archive->body(kept), QByteArray("<html>old</html>"));
    KeptPage cut = page("<html>ha", 200, QStringLiteral("baidu"), false);
    cut.reply.cutShort = true;
    const qint64 cutId = store(cut);
    auto listed = m_archive->list({});
    ASSERT_TRUE(listed.ok());
    ASSERT_EQ(listed->size(), 2u);
    for (const ArchivedFetch& fetch : *listed) {
        EXPECT_EQ(fetch.incomplete, fetch.id == cutId) << fetch.id;
    }
}

// A page is archived before its row commits; one whose row never came (a killed run) is listed
// as such and given up before any page that has its reading.
TEST_F(PageArchiveTest, PagesWithoutTheirReadingAreListedAsSuchAndPrunedFirst)
{
    const qint64 now = 1'800'000'000;
    std::mt19937 random(5);
    struct Case
    {
        qint64 age; // seconds
        bool trusted;
        bool linked;
        bool kept;
    };
    const Case cases[] = {
        { 900, true, true, false }, // the oldest figure: goes once the orphans are gone
        { 800, false, true, true },
        { 100, true, false, false }, // the newest, a figure, but no reading points to it
        { 50, false, false, false },
        { 10, true, true, true },
    };
    std::vector<qint64> ids;
    for (const Case& c : cases) {
        QByteArray noise(4096, Qt::Uninitialized);
        for (char& byte : noise) {
            byte = static_cast<char>(random());
        }
        ids.push_back(store(page(noise, now - c.age, QStringLiteral("baidu"), c.trusted)));
        if (c.linked) {
            ASSERT_TRUE(m_archive->link(QStringLiteral("A.example"), QStringLiteral("baidu"), now - c.age).ok());
        }
    }
    auto listed = m_archive->list({});
    ASSERT_TRUE(listed.ok()) << listed.error().toStdString();
    ASSERT_EQ(listed->size(), std::size(cases));
    for (const ArchivedFetch& fetch : *listed) {
        const size_t i = static_cast<size_t>(std::find(ids.begin(), ids.end(), fetch.id) - ids.begin());
        ASSERT_LT(i, std::size(cases));
        EXPECT_EQ(fetch.hasReading, cases[i].linked) << "page " << i;
        EXPECT_EQ(fetch.trusted, cases[i].trusted) << "page " << i;
    }
    ArchiveRetention retention(*m_archive);
    ASSERT_TRUE(retention.setLimits({ 180, 2 * 4200 }).ok());
    ASSERT_TRUE(retention.prune(now).ok());
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(m_archive->facts(ids[i]).ok(), cases[i].kept) << "page " << i;
    }
}

TEST(PageArchiveFileTest, DamagedOrForeignFileIsRefusedAndLeftAsItWas)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pages.dat"));
    const auto write = [&path](const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    const auto contents = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    {
        auto foreign = Database::open(path, Database::OpenMode::CreateNew);
        ASSERT_TRUE(foreign.ok());
        ASSERT_TRUE((*foreign)->exec("CREATE TABLE notes (text TEXT)").ok());
    }
    const QByteArray cases[] = { contents(), QByteArray(8192, '\x5a') };
    for (const QByteArray& bytes : cases) {
        write(bytes);
        auto opened = PageArchive::open(path, PageArchive::Mode::CreateIfMissing);
        EXPECT_FALSE(opened.ok());
        ArchiveWriter writer(path);
        int reports = 0;
        QObject::connect(&writer, &ArchiveWriter::errorOccurred, [&reports](const QString&) { ++reports; });
        for (int i = 0; i < 3; ++i) {
            writer.keep(page("<html>figure</html>", 100 + i).reply, true);
        }
        writer.waitUntilIdle();
        EXPECT_EQ(reports, 1);
        EXPECT_TRUE(contents() == bytes);
    }
}

} // namespace
} // namespace shoulu
