#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "fetch/HTTPGet.h"
#include "fetch/THTTPGetThread.h"
#include "query/BatchScheduler.h"
#include "query/DomainQuery.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "support/EngineServer.h"
#include "support/FaultServer.h"
#include "support/QueryFixture.h"
#include "support/SanitizerSlowdown.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace shoulu::test {
namespace {

constexpr Count Figures[EngineCount] = { 1230, 12300, 5432, 45678, 3210, 25000, 1234 };
constexpr int kSlowdown = kSanitizerSlowdown;
constexpr FetchLimits kLimits {
    .connectTimeoutMs = 2000 * kSlowdown, .fetchTimeoutMs = 4000 * kSlowdown, .maxBodyBytes = 1024 * 1024
};
// How much later than the fetch limit a run may end on a loaded machine.
constexpr int kSlackMs = 4000;
// A run that does not wait for the time-out ends well before it.
constexpr int kPromptMs = kLimits.fetchTimeoutMs - 1000;

// The engine's GBK result page, followed by filler twice its size, so that a fault that cuts
// the body in half cuts behind the figure.
QByteArray enginePage(const HttpRequest& request)
{
    const int engine = engineOfHost(request.host);
    if (engine < 0) {
        return "not an engine";
    }
    const QByteArray page = EngineServer::resultPage(engine, Figures[engine], EngineServer::Encoding::Gbk);
    return page + "<!-- " + QByteArray(2 * page.size(), 'x') + " -->\n";
}

// What the row keeps: each engine's figure, or 0 because no page (or no readable page) came.
enum class Stored { Figure, Zero };
enum class Ends { Promptly, AtTheFetchTimeOut };

struct QueryCase
{
    Fault fault;
    Stored stored;
    Ends ends;
};

std::ostream& operator<<(std::ostream& out, const QueryCase& c)
{
    return out << faultName(c.fault);
}

const QueryCase kCases[] = {
    { Fault::RefusedConnection, Stored::Zero, Ends::Promptly },
    { Fault::ResetBeforeAnyByte, Stored::Zero, Ends::Promptly },
    { Fault::EmptyBody, Stored::Zero, Ends::Promptly },
    { Fault::StatusLineNotHttp, Stored::Zero, Ends::Promptly },
    { Fault::RedirectLoop, Stored::Zero, Ends::Promptly },
    { Fault::ContentLengthNegative, Stored::Zero, Ends::Promptly },
    { Fault::ContentLengthNotANumber, Stored::Zero, Ends::Promptly },
    { Fault::BodyAboveTheCap, Stored::Zero, Ends::Promptly },
    { Fault::UndeclaredBodyAboveTheCap, Stored::Zero, Ends::Promptly },
    { Fault::HeadersThenSilence, Stored::Zero, Ends::AtTheFetchTimeOut },
    { Fault::TrickleSlowerThanTheFetch, Stored::Zero, Ends::AtTheFetchTimeOut },
    // Delivered as received, so the compressed page holds no figure to read.
    { Fault::UnaskedGzip, Stored::Zero, Ends::Promptly },
    // Cut short: the figure in what came may be cut too, so none is stored.
    { Fault::ContentLengthAboveBody, Stored::Zero, Ends::Promptly },
    { Fault::ResetMidBody, Stored::Zero, Ends::Promptly },
    { Fault::Chunked, Stored::Figure, Ends::Promptly },
    { Fault::NulAndInvalidUtf8, Stored::Figure, Ends::Promptly },
    { Fault::ContentLengthBelowBody, Stored::Figure, Ends::Promptly },
};

Stored storedFor(Fault fault)
{
    for (const QueryCase& c : kCases) {
        if (c.fault == fault) {
            return c.stored;
        }
    }
    ADD_FAILURE() << "no row for " << faultName(fault);
    return Stored::Zero;
}

Count expectedCount(Fault fault, int engine)
{
    return storedFor(fault) == Stored::Figure ? Figures[engine] : 0;
}

// The shared query set-up; every fetch gets short limits.
class FaultQueryFixture : public QueryFixture
{
protected:
    void prepareQuery(DomainQuery& query) override
    {
        query.setFetchStarter([](Tmyhttpget& fetch) {
            fetch.setLimits(kLimits);
            fetch.GetString();
        });
    }

    void TearDown() override
    {
        QueryFixture::TearDown();
        // Every fetch has replied, so every worker ends.
        EXPECT_TRUE(THTTPGetThread::waitForAll(5000));
    }

    // Waits for the run to end; returns how long it took from `clock`'s start, or -1.
    qint64 waitForEnd(const QElapsedTimer& clock, int timeoutMs)
    {
        if (!QueryFixture::waitForEnd(timeoutMs)) {
            return -1;
        }
        const qint64 took = clock.elapsed();
        QTest::qWait(100); // a reply or a second end that should not come
        return took;
    }
};

class FaultQueryTest : public FaultQueryFixture, public ::testing::WithParamInterface<QueryCase>
{
};

// All seven engines misbehave alike: the run must still end once, in time, with the domain's
// row stored (the figures that came through, zeros for the rest) and nothing reported amiss.
TEST_P(FaultQueryTest, EnginesMisbehavingAlikeStrandTheRunOrLoseTheRow)
{
    const QueryCase& c = GetParam();
    FaultServer engines(c.fault, enginePage);
    m_query->setProxy(ProxySetting::via(engines.url("")));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(m_query->startSingle(QStringLiteral("fault.example"), {}).started);
    const qint64 took = waitForEnd(clock, kLimits.fetchTimeoutMs + kSlackMs);
    ASSERT_GE(took, 0) << "the run never ended; " << m_query->state().TotalReplies << " replies tallied";
    if (c.ends == Ends::Promptly) {
        EXPECT_LT(took, kPromptMs);
    } else {
        EXPECT_GE(took, kLimits.fetchTimeoutMs - 100);
    }

    EXPECT_EQ(m_finished, 1);
    EXPECT_EQ(m_query->state().TotalReplies, EnginesPerDomain);
    EXPECT_TRUE(m_status.startsWith(QStringLiteral("查询完毕：fault.example"))) << m_status.toStdString();
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(QLatin1Char('\n')).toStdString();
    const auto rows = rowsOf(QStringLiteral("fault.example"));
    ASSERT_EQ(rows.size(), 1u);
    for (int engine = 0; engine < EngineCount; ++engine) {
        EXPECT_EQ(rows[0].counts[size_t(engine)], expectedCount(c.fault, engine)) << engineInfo(engine).name;
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultQueryTest, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<QueryCase>& info) { return std::string(faultName(info.param.fault)); });

// Each engine misbehaves its own way in one query: every slot gets its own engine's outcome.
TEST_F(FaultQueryFixture, MixedFaultsLandInAnotherEnginesSlot)
{
    constexpr Fault byEngine[EngineCount] = { Fault::Chunked, Fault::ResetMidBody, Fault::EmptyBody,
        Fault::TrickleSlowerThanTheFetch, Fault::UnaskedGzip, Fault::ContentLengthBelowBody, Fault::RedirectLoop };
    FaultServer engines(
        [&](const HttpRequest& request) {
            const int engine = engineOfHost(request.host);
            return engine < 0 ? Fault::EmptyBody : byEngine[engine];
        },
        enginePage);
    m_query->setProxy(ProxySetting::via(engines.url("")));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(m_query->startSingle(QStringLiteral("mixed.example"), {}).started);
    ASSERT_GE(waitForEnd(clock, kLimits.fetchTimeoutMs + kSlackMs), 0) << "the run never ended";
    EXPECT_EQ(m_finished, 1);
    const auto rows = rowsOf(QStringLiteral("mixed.example"));
    ASSERT_EQ(rows.size(), 1u);
    for (int engine = 0; engine < EngineCount; ++engine) {
        EXPECT_EQ(rows[0].counts[size_t(engine)], expectedCount(byEngine[engine], engine))
            << engineInfo(engine).name << " under " << faultName(byEngine[engine]);
    }
}

// Domains start two seconds apart while every engine stalls for the whole fetch time-out, so
// the replies of one domain arrive after the next has started: each domain still gets its row.
TEST_F(FaultQueryFixture, StallingEnginesInABatchLoseOrMixRows)
{
    FaultServer engines(Fault::HeadersThenSilence, enginePage);
    m_query->setProxy(ProxySetting::via(engines.url("")));
    const QStringList domains
        = { QStringLiteral("one.example"), QStringLiteral("two.example"), QStringLiteral("three.example") };
    ASSERT_TRUE(m_domains->replaceAll(domains).ok());
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(m_batch->start(domains, 1), BatchScheduler::StartResult::Started);
    ASSERT_GE(waitForEnd(clock, 2 * 2000 + kLimits.fetchTimeoutMs + kSlackMs), 0) << "the batch never ended";
    EXPECT_EQ(m_finished, 1);
    EXPECT_EQ(m_query->state().TotalReplies, 3 * EnginesPerDomain);
    EXPECT_FALSE(m_timer.isActive());
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(QLatin1Char('\n')).toStdString();
    for (const QString& domain : domains) {
        const auto rows = rowsOf(domain);
        ASSERT_EQ(rows.size(), 1u) << domain.toStdString();
        EXPECT_EQ(rows[0].counts, EngineCounts {}) << domain.toStdString();
    }
}

} // namespace
} // namespace shoulu::test
