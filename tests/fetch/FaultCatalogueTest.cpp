#include "fetch/HTTPGet.h"
#include "fetch/THTTPGetThread.h"
#include "support/FaultServer.h"
#include "support/QtTestApp.h"
#include "support/SanitizerSlowdown.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace shoulu::test {
namespace {

// Short limits, so that the faults that run into them end within seconds.
constexpr int kSlowdown = kSanitizerSlowdown;
constexpr FetchLimits kLimits {
    .connectTimeoutMs = 2000 * kSlowdown, .fetchTimeoutMs = 4000 * kSlowdown, .maxBodyBytes = 1024 * 1024
};
// How much later than its limit a reply may come on a loaded machine.
constexpr int kSlackMs = 3000;
// A reply that does not wait for the time-out comes well before it.
constexpr int kPromptMs = kLimits.fetchTimeoutMs - 1000;

// What the fetch hands over: OnError, or OnDoneString with all of the body the server meant,
// or with the part of it before the fault's cut.
enum class Outcome { Error, WholeBody, BodyUpToTheCut };
// When: well before any limit, or when the whole-fetch time-out strikes.
enum class Ends { Promptly, AtTheFetchTimeOut };

struct FaultCase
{
    Fault fault;
    Outcome outcome;
    Ends ends;
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c)
{
    return out << faultName(c.fault);
}

class FaultCatalogue : public testing::TestWithParam<FaultCase>
{
protected:
    static void SetUpTestSuite()
    {
        ensureQtApp();
        for (const char* name : { "http_proxy", "all_proxy", "ALL_PROXY" }) {
            ::unsetenv(name);
        }
    }

    // No worker may be left running or waiting once its fetch has replied.
    void TearDown() override { EXPECT_TRUE(THTTPGetThread::waitForAll(5000)); }
};

// Every fetch of a misbehaving server ends in exactly one reply, of the kind the fault calls
// for, within the limits: never a hang, a second reply, a crash or a mangled body.
TEST_P(FaultCatalogue, MisbehavingServerGetsNoReplyOrTheWrongOne)
{
    const FaultCase& c = GetParam();
    FaultServer server(c.fault);
    THTTPGet get;
    get.URL = server.url("/s?wd=site%3Aexample.com");
    get.setLimits(kLimits);
    int pages = 0;
    int errors = 0;
    QByteArray body;
    get.OnDoneString = [&](THTTPGet*, const QByteArray& result) {
        ++pages;
        body = result;
    };
    get.OnError = [&](THTTPGet*) { ++errors; };

    QElapsedTimer clock;
    clock.start();
    get.GetString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pages + errors > 0; }, kLimits.fetchTimeoutMs + kSlackMs))
        << "no reply within the limits";
    const qint64 took = clock.elapsed();
    QTest::qWait(200);
    EXPECT_EQ(pages + errors, 1) << pages << " pages and " << errors << " errors";
    EXPECT_FALSE(get.isRunning());

    const QByteArray served = FaultServer::servedBody(c.fault, FaultServer::defaultPayload());
    switch (c.outcome) {
    case Outcome::Error:
        EXPECT_EQ(errors, 1) << body.size() << " bytes taken for a page";
        break;
    case Outcome::WholeBody:
        ASSERT_EQ(pages, 1);
        EXPECT_EQ(body.size(), served.size());
        EXPECT_TRUE(body == served) << "the body differs from what was sent";
        break;
    case Outcome::BodyUpToTheCut:
        ASSERT_EQ(pages, 1);
        EXPECT_EQ(body.size(), FaultServer::cutAt(served));
        EXPECT_TRUE(body == served.first(FaultServer::cutAt(served))) << "the body differs from what was sent";
        break;
    }
    if (c.ends == Ends::Promptly) {
        EXPECT_LT(took, kPromptMs);
    } else {
        EXPECT_GE(took, kLimits.fetchTimeoutMs - 100);
        EXPECT_LT(took, kLimits.fetchTimeoutMs + kSlackMs);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultCatalogue,
    testing::Values(
        // Nothing arrives, or nothing of a body: no page.
        FaultCase { Fault::RefusedConnection, Outcome::Error, Ends::Promptly },
        FaultCase { Fault::ResetBeforeAnyByte, Outcome::Error, Ends::Promptly },
        FaultCase { Fault::EmptyBody, Outcome::Error, Ends::Promptly },
        FaultCase { Fault::StatusLineNotHttp, Outcome::Error, Ends::Promptly },
        FaultCase { Fault::RedirectLoop, Outcome::Error, Ends::Promptly },
        FaultCase { Fault::ContentLengthNegative, Outcome::Error, Ends::Promptly },
        FaultCase { Fault::ContentLengthNotANumber, Outcome::Error, Ends::Promptly },
        // The limits end the fetch: a body that would not fit, or would never finish.
        FaultCase { Fault::BodyAboveTheCap, Outcome::Error, Ends::Promptly },
        FaultCase { Fault::UndeclaredBodyAboveTheCap, Outcome::Error, Ends::Promptly },
        FaultCase { Fault::HeadersThenSilence, Outcome::Error, Ends::AtTheFetchTimeOut },
        FaultCase { Fault::TrickleSlowerThanTheFetch, Outcome::Error, Ends::AtTheFetchTimeOut },
        // A body arrives: it is the page, byte for byte as sent (never decompressed), as far
        // as it came or as far as its Content-Length reaches.
        FaultCase { Fault::Chunked, Outcome::WholeBody, Ends::Promptly },
        FaultCase { Fault::UnaskedGzip, Outcome::WholeBody, Ends::Promptly },
        FaultCase { Fault::NulAndInvalidUtf8, Outcome::WholeBody, Ends::Promptly },
        FaultCase { Fault::ContentLengthAboveBody, Outcome::WholeBody, Ends::Promptly },
        FaultCase { Fault::ResetMidBody, Outcome::BodyUpToTheCut, Ends::Promptly },
        FaultCase { Fault::ContentLengthBelowBody, Outcome::BodyUpToTheCut, Ends::Promptly }),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(faultName(info.param.fault)); });

} // namespace
} // namespace shoulu::test
