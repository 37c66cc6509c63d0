#include "query/DomainQuery.h"

#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "fetch/HTTPGet.h"
#include "query/BatchScheduler.h"
#include "store/Database.h"
#include "store/DomainList.h"
#include "store/ResultRow.h"
#include "store/ResultRows.h"
#include "support/EngineServer.h"
#include "support/QueryFixture.h"
#include "util/PageSink.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace shoulu::test {
namespace {

constexpr Count Figures[EngineCount] = { 1230, 12300, 5432, 45678, 3210, 25000, 1234 };

// The shared query set-up, talking to the local engines.
class DomainQueryTest : public QueryFixture
{
protected:
    void SetUp() override
    {
        QueryFixture::SetUp();
        for (int i = 0; i < EngineCount; ++i) {
            m_engines.setDefault(i, { Figures[i] });
        }
    }

    void prepareQuery(DomainQuery& query) override { query.setProxy(ProxySetting::via(m_engines.proxyUrl())); }

    EngineServer m_engines;
};

class SingleQueryTest : public DomainQueryTest, public ::testing::WithParamInterface<EngineServer::Encoding>
{
};

TEST_P(SingleQueryTest, storesSevenFiguresOfEitherEncodingAndEnds)
{
    m_engines.setEncoding(GetParam());
    const auto start = m_query->startSingle(QStringLiteral("example.com"), {});
    ASSERT_TRUE(start.started);
    EXPECT_EQ(start.domainList, QStringList { QStringLiteral("example.com") });
    EXPECT_TRUE(m_query->isBusy());
    EXPECT_EQ(m_status, QStringLiteral("正在查询：example.com"));
    ASSERT_TRUE(waitForEnd());

    const auto rows = rowsOf(QStringLiteral("example.com"));
    ASSERT_EQ(rows.size(), 1u);
    for (int i = 0; i < EngineCount; ++i) {
        EXPECT_EQ(rows[0].counts[static_cast<size_t>(i)], Figures[i]) << engineInfo(i).name;
    }
    EXPECT_EQ(rows[0].searchTime, m_query->state().QueryTime);
    EXPECT_EQ(m_status, QStringLiteral("查询完毕：example.com"));
    EXPECT_EQ(m_gaugeMax, 7);
    EXPECT_EQ(m_gaugePos, 7);
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Pages, SingleQueryTest, ::testing::Values(EngineServer::Encoding::Utf8, EngineServer::Encoding::Gbk));

TEST_F(DomainQueryTest, everyEngineFailingStoresSevenZerosAndStillEnds)
{
    for (int i = 0; i < EngineCount; ++i) {
        m_engines.setDefault(i, { 0, 0, i % 2 ? EngineServer::Failure::Reset : EngineServer::Failure::EmptyBody });
    }
    ASSERT_TRUE(m_query->startSingle(QStringLiteral("down.example"), {}).started);
    ASSERT_TRUE(waitForEnd());
    const auto rows = rowsOf(QStringLiteral("down.example"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].counts, EngineCounts {});
    // Stored all the same, and said plainly that no engine gave a figure.
    EXPECT_TRUE(m_status.startsWith(QStringLiteral("查询完毕：down.example（没有一个引擎给出收录数：")))
        << m_status.toStdString();
    EXPECT_EQ(m_gaugePos, 7);
}

TEST_F(DomainQueryTest, readingsTravelWithTheRowAndAnEngineSwitchedOffIsNotAsked)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("engines.json"));
    ASSERT_TRUE(EngineCatalogue::setEnabled(file, QStringLiteral("yahoo"), false).ok());
    const Result<EngineCatalogue> catalogue = EngineCatalogue::load(file);
    ASSERT_TRUE(catalogue.ok()) << catalogue.error().toStdString();
    buildQuery(*catalogue);
    m_engines.setDefault(6, { 0, 0, EngineServer::Failure::EmptyBody });
    ResultRow committed;
    QObject::connect(m_query.get(), &DomainQuery::rowCommitted, [&](const ResultRow& row) { committed = row; });

    ASSERT_TRUE(m_query->startSingle(QStringLiteral("example.com"), {}).started);
    EXPECT_EQ(m_query->state().ExpectedReplies, EngineCount - 1);
    ASSERT_TRUE(waitForEnd());
    // One reading per engine asked: yahoo and 360 (off unless switched on) have none.
    ASSERT_EQ(committed.readings.size(), EngineCount - 1);
    EXPECT_EQ(committed.readingOf(QStringLiteral("baidu"))->status, ReadingStatus::Counted);
    EXPECT_EQ(committed.readingOf(QStringLiteral("baidu"))->count, Figures[0]);
    EXPECT_EQ(committed.readingOf(QStringLiteral("yahoo")), nullptr);
    EXPECT_EQ(committed.readingOf(QStringLiteral("bing"))->status, ReadingStatus::Failed);
    EXPECT_EQ(m_engines.requestsFor(3, QStringLiteral("example.com")), 0);
    const auto rows = rowsOf(QStringLiteral("example.com"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].counts[3], 0);
    EXPECT_EQ(rows[0].counts[6], 0);
    EXPECT_EQ(rows[0].readings.size(), EngineCount - 1);
    EXPECT_EQ(m_query->state().TotalReplies, EngineCount - 1);
}

// The archive finds a reading's page by domain, engine and fetch time: the two must agree.
TEST_F(DomainQueryTest, pagesHandedOnCarryWhatLinksThemToTheirReadings)
{
    struct Recorder : PageSink
    {
        std::vector<std::pair<Reply, bool>> pages;
        void keep(Reply page, bool trusted) override { pages.emplace_back(std::move(page), trusted); }
    } sink;
    m_query->setPageSink(&sink);
    m_engines.setDefault(6, { 0, 0, EngineServer::Failure::Reset });
    ResultRow committed;
    QObject::connect(m_query.get(), &DomainQuery::rowCommitted, [&](const ResultRow& row) { committed = row; });
    ASSERT_TRUE(m_query->startSingle(QStringLiteral("example.com"), {}).started);
    ASSERT_TRUE(waitForEnd());
    // bing's connection was reset: no body, nothing to keep.
    EXPECT_EQ(sink.pages.size(), static_cast<size_t>(committed.readings.size() - 1));
    for (const auto& [page, trusted] : sink.pages) {
        const Reading* reading = committed.readingOf(page.engine);
        ASSERT_NE(reading, nullptr) << page.engine.toStdString();
        EXPECT_EQ(page.domain, QStringLiteral("example.com"));
        EXPECT_EQ(page.fetchedAt.toSecsSinceEpoch(), reading->fetchedAt.toSecsSinceEpoch());
        EXPECT_EQ(trusted, isTrustworthy(reading->status));
        EXPECT_FALSE(page.body.isEmpty());
    }
}

TEST_F(DomainQueryTest, clickWhileBusyChangesNothing)
{
    m_engines.setDefault(0, { 1, 500 });
    ASSERT_TRUE(m_query->startSingle(QStringLiteral("first.example"), {}).started);
    const QueryState before = m_query->state();
    QSignalSpy gauge(m_query.get(), &DomainQuery::gaugeChanged);
    QSignalSpy status(m_query.get(), &DomainQuery::statusChanged);

    EXPECT_FALSE(m_query->startSingle(QStringLiteral("second.example"), {}).started);
    EXPECT_EQ(m_batch->start({ QStringLiteral("third.example") }, 1), BatchScheduler::StartResult::Busy);
    EXPECT_EQ(gauge.count(), 0);
    EXPECT_EQ(status.count(), 0);
    EXPECT_EQ(m_query->state().CurrentDomain, before.CurrentDomain);
    EXPECT_EQ(m_query->state().ExpectedReplies, before.ExpectedReplies);
    EXPECT_FALSE(m_timer.isActive());

    ASSERT_TRUE(waitForEnd());
    auto listed = m_domains->loadDomain();
    ASSERT_TRUE(listed.ok());
    EXPECT_EQ(listed.value(), QStringList { QStringLiteral("first.example") });
    EXPECT_EQ(m_engines.requestsFor(0, QStringLiteral("second.example")), 0);
}

TEST_F(DomainQueryTest, typedLetterCaseGoesIntoTheUrlsAndOtherCaseIsNotListedTwice)
{
    ASSERT_TRUE(m_domains->addDomain(QStringLiteral("Example.com")).ok());
    const auto start = m_query->startSingle(QStringLiteral("EXAMPLE.com"), { QStringLiteral("Example.com") });
    EXPECT_EQ(start.domainList, QStringList { QStringLiteral("Example.com") });
    EXPECT_EQ(m_query->state().CurrentDomain, QStringLiteral("EXAMPLE.com"));
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(m_engines.requestsFor(3, QStringLiteral("EXAMPLE.com")), 1);
}

// The engines are asked about the text that is stored, not "site:  lead.com  ".
TEST_F(DomainQueryTest, singleAndBatchAskTheTrimmedText)
{
    ASSERT_TRUE(m_query->startSingle(QStringLiteral("  lead.com \t"), {}).started);
    EXPECT_EQ(m_status, QStringLiteral("正在查询：lead.com"));
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(m_batch->start({ QStringLiteral(" pad.example\r") }, m_delay), BatchScheduler::StartResult::Started);
    ASSERT_TRUE(waitForEnd());
    for (const char* domain : { "lead.com", "pad.example" }) {
        EXPECT_EQ(m_engines.requestsFor(0, QLatin1String(domain)), 1) << domain;
    }
    EXPECT_EQ(rowsOf(QStringLiteral("lead.com")).size(), 1u);
}

TEST_F(DomainQueryTest, fetchThatCannotStartCountsAsFailedReply)
{
    m_query->setFetchStarter([](Tmyhttpget& fetch) {
        if (fetch.EngineIndex == 3) {
            throw std::runtime_error("no thread");
        }
        fetch.GetString();
    });
    ASSERT_TRUE(m_query->startSingle(QStringLiteral("partly.example"), {}).started);
    ASSERT_TRUE(waitForEnd());
    const auto rows = rowsOf(QStringLiteral("partly.example"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].counts[3], 0);
    EXPECT_EQ(rows[0].counts[0], Figures[0]);
    EXPECT_EQ(m_gaugePos, 7);
}

TEST_F(DomainQueryTest, failedCommitIsReportedAndTheRunStillEnds)
{
    ASSERT_TRUE(m_db->database().exec("DROP TABLE shoulu").ok());
    QSignalSpy finished(m_query.get(), &DomainQuery::runFinished);
    ASSERT_TRUE(m_query->startSingle(QStringLiteral("lost.example"), {}).started);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(finished.count(), 1);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_EQ(m_gaugePos, 7);
}

TEST_F(DomainQueryTest, batchSpacesDomainsByDelayPlusOneAndSharesOneTime)
{
    const QStringList domains
        = { QStringLiteral("a.example"), QStringLiteral("b.example"), QStringLiteral("c.example") };
    m_delay = 1;
    QElapsedTimer clock;
    clock.start();
    QList<qint64> starts;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        while (starts.size() < m_batch->BatchCursor()) {
            starts << clock.elapsed();
        }
    });
    probe.start(5);

    ASSERT_TRUE(m_domains->replaceAll(domains).ok());
    ASSERT_EQ(m_batch->start(domains, m_delay), BatchScheduler::StartResult::Started);
    EXPECT_EQ(m_status, QStringLiteral("开始查询所有域名收录量..."));
    EXPECT_EQ(m_gaugeMax, 21);
    ASSERT_TRUE(waitForEnd());
    probe.stop();

    ASSERT_EQ(starts.size(), 3);
    EXPECT_LT(starts[0], 300);
    EXPECT_NEAR(starts[1] - starts[0], 2000, 300);
    EXPECT_NEAR(starts[2] - starts[1], 2000, 300);

    QDateTime shared;
    for (const QString& domain : domains) {
        const auto rows = rowsOf(domain);
        ASSERT_EQ(rows.size(), 1u) << domain.toStdString();
        if (!shared.isValid()) {
            shared = rows[0].searchTime;
        }
        EXPECT_EQ(rows[0].searchTime, shared);
    }
    EXPECT_EQ(m_status, QStringLiteral("批量查询完毕：3 个域名（计数 21）"));
    EXPECT_EQ(m_gaugePos, 21);
    EXPECT_FALSE(m_timer.isActive());
}

TEST_F(DomainQueryTest, lateEngineKeepsItsFigureWithItsOwnDomain)
{
    m_engines.setAnswer(0, QStringLiteral("slow.example"), { 111, 5000 });
    m_engines.setAnswer(0, QStringLiteral("next.example"), { 222 });
    const QStringList domains = { QStringLiteral("slow.example"), QStringLiteral("next.example") };
    ASSERT_TRUE(m_domains->replaceAll(domains).ok());
    ASSERT_EQ(m_batch->start(domains, 1), BatchScheduler::StartResult::Started);
    ASSERT_TRUE(waitForEnd(30000));
    const auto slow = rowsOf(QStringLiteral("slow.example"));
    const auto next = rowsOf(QStringLiteral("next.example"));
    ASSERT_EQ(slow.size(), 1u);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(slow[0].counts[0], 111);
    EXPECT_EQ(next[0].counts[0], 222);
    EXPECT_EQ(next[0].counts[1], Figures[1]);
}

TEST_F(DomainQueryTest, emptyBatchDoesNotStart)
{
    EXPECT_EQ(m_batch->start({}, 2), BatchScheduler::StartResult::EmptyList);
    EXPECT_FALSE(m_query->isBusy());
    EXPECT_FALSE(m_timer.isActive());
}

TEST_F(DomainQueryTest, batchWalksTheListAsItWasWhenItStarted)
{
    QStringList domains = { QStringLiteral("one.example"), QStringLiteral("two.example") };
    ASSERT_EQ(m_batch->start(domains, 1), BatchScheduler::StartResult::Started);
    domains << QStringLiteral("three.example");
    ASSERT_TRUE(m_domains->replaceAll(domains).ok());
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(m_query->state().TotalReplies, 14);
    EXPECT_EQ(m_engines.requestsFor(0, QStringLiteral("three.example")), 0);
}

TEST_F(DomainQueryTest, stopBeforeTheFirstDomainEndsTheRunAtOnceAskingNothing)
{
    const QStringList domains = { QStringLiteral("one.example"), QStringLiteral("two.example") };
    ASSERT_EQ(m_batch->start(domains, 1), BatchScheduler::StartResult::Started);
    EXPECT_TRUE(m_batch->stop());
    EXPECT_FALSE(m_query->isBusy());
    EXPECT_FALSE(m_timer.isActive());
    EXPECT_EQ(m_finished, 1);
    EXPECT_EQ(m_status, QStringLiteral("批量查询已停止：0 个域名"));
    EXPECT_FALSE(m_batch->stop());
    QTest::qWait(100);
    EXPECT_EQ(m_engines.requestsFor(0, domains[0]), 0);
    EXPECT_TRUE(rowsOf(domains[0]).empty());
}

// Baidu refuses the first domain and rests; the clock stands still, or has passed the rest by
// the time the last row is stored.
class CooldownBatchTest : public DomainQueryTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(CooldownBatchTest, restingEngineIsSkippedAndRetriedInPlaceOnceItsRestIsOver)
{
    const bool restOver = GetParam();
    qint64 now = 0;
    m_query->cooldown().policy().setClock([&now] { return now; });
    const QStringList domains
        = { QStringLiteral("a.example"), QStringLiteral("b.example"), QStringLiteral("c.example") };
    m_engines.setAnswer(0, domains[0], { 0, 0, EngineServer::Failure::Refused });
    std::map<QString, Reading> firstStored;
    QObject::connect(m_query.get(), &DomainQuery::rowCommitted, [&](const ResultRow& row) {
        firstStored[row.domain] = row.readings.front().reading;
        if (row.domain == domains[2] && restOver) {
            now += EngineCooldown::FirstPauseMs;
        }
    });
    ASSERT_TRUE(m_domains->replaceAll(domains).ok());
    m_delay = 0;
    ASSERT_EQ(m_batch->start(domains, m_delay), BatchScheduler::StartResult::Started);
    ASSERT_TRUE(waitForEnd());

    for (const QString& domain : { domains[1], domains[2] }) {
        EXPECT_EQ(firstStored[domain].error, QStringLiteral("冷却中"));
        EXPECT_EQ(firstStored[domain].status, ReadingStatus::Blocked);
        EXPECT_EQ(m_engines.requestsFor(0, domain), restOver ? 1 : 0);
        const auto rows = rowsOf(domain);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].counts[0], restOver ? Figures[0] : 0);
        EXPECT_EQ(rows[0].readingOf(QStringLiteral("baidu"))->status,
            restOver ? ReadingStatus::Counted : ReadingStatus::Blocked);
        EXPECT_EQ(rows[0].counts[1], Figures[1]);
    }
    EXPECT_TRUE(m_status.contains(
        QStringLiteral("百度受阻暂停 1 次（最长 5 分钟），跳过 2 个读数，补查 %1 个").arg(restOver ? 2 : 0)))
        << m_status.toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(QLatin1Char('\n')).toStdString();

    // A single query asks every engine, whatever the batch left resting.
    ASSERT_TRUE(m_query->startSingle(domains[1], {}).started);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(m_engines.requestsFor(0, domains[1]), restOver ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Rest, CooldownBatchTest, ::testing::Bool());

} // namespace
} // namespace shoulu::test
