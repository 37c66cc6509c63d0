#include "FetchTestSupport.h"
#include "fetch/THTTPGetThread.h"
#include "support/LocalHttpServer.h"

#include <QPointer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>

using namespace shoulu;

namespace {

class FetchLifetime : public testing::Test
{
protected:
    static void SetUpTestSuite() { testApplication(); }
    void TearDown() override { EXPECT_TRUE(THTTPGetThread::waitForAll(5000)); }

    // Replies counted outside the component, so that they can be checked after it is gone.
    std::shared_ptr<Replies> watch(THTTPGet& get)
    {
        auto replies = std::make_shared<Replies>();
        get.OnDoneString = [replies](THTTPGet*, const QByteArray& body) {
            ++replies->done;
            replies->body = body;
        };
        get.OnError = [replies](THTTPGet*) { ++replies->errors; };
        return replies;
    }
};

TEST_F(FetchLifetime, DestroyedWhileFetchingStillGetsAReply)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) {
        connection.sleepMs(200);
        connection.respond(200, "too late");
    });
    auto* get = new THTTPGet;
    const auto replies = watch(*get);
    get->URL = server.url("/");
    get->GetString();
    ASSERT_TRUE(server.waitForRequests(1, 5000));
    delete get;
    spinFor(500);
    EXPECT_EQ(replies->total(), 0);
}

TEST_F(FetchLifetime, DestroyedWithItsReplyQueuedLeavesTheWorkerWaiting)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) { connection.respond(200, "page"); });
    auto* get = new THTTPGet;
    const auto replies = watch(*get);
    get->URL = server.url("/");
    get->GetString();
    ASSERT_TRUE(server.waitForRequests(1, 5000));
    QThread::msleep(200); // no event processed: the worker waits for its hand-over
    EXPECT_EQ(THTTPGetThread::runningCount(), 1);
    delete get;
    // Released without the event loop's help.
    EXPECT_TRUE(THTTPGetThread::waitForAll(2000));
    spinFor(100);
    EXPECT_EQ(replies->total(), 0);
}

TEST_F(FetchLifetime, ParentDestroyedMidFetchLeavesAThreadBehind)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) { connection.sleepMs(30000); });
    auto owner = std::make_unique<QObject>();
    std::vector<std::shared_ptr<Replies>> replies;
    for (int engine = 0; engine < 7; ++engine) {
        auto* get = new Tmyhttpget(owner.get());
        get->EngineIndex = engine;
        get->URL = server.url("/");
        replies.push_back(watch(*get));
        get->GetString();
    }
    ASSERT_TRUE(server.waitForRequests(7, 5000));
    const auto start = Clock::now();
    owner.reset();
    // Destruction asks each worker to stop; none keeps running into the server's 30 s stall.
    EXPECT_TRUE(THTTPGetThread::waitForAll(2000));
    EXPECT_LT(msSince(start), 2000);
    spinFor(50);
    for (const auto& reply : replies) {
        EXPECT_EQ(reply->total(), 0);
    }
}

struct ReleaseCase
{
    const char* fault;
    bool pageArrives;
    bool deleteNow; // delete inside the handler rather than deleteLater()
};

std::ostream& operator<<(std::ostream& out, const ReleaseCase& c)
{
    return out << c.fault;
}

class ReleaseInsideReply : public FetchLifetime, public testing::WithParamInterface<ReleaseCase>
{
};

TEST_P(ReleaseInsideReply, ReleasingTheSenderFromItsHandlerCrashes)
{
    const ReleaseCase& c = GetParam();
    LocalHttpServer server(
        [&](const HttpRequest&, HttpConnection& connection) { connection.respond(200, c.pageArrives ? "page" : ""); });
    QPointer<THTTPGet> get = new THTTPGet;
    int calls = 0;
    const auto release = [&](THTTPGet* sender) {
        ++calls;
        if (c.deleteNow) {
            delete sender;
        } else {
            sender->deleteLater();
        }
    };
    get->OnDoneString = [&](THTTPGet* sender, const QByteArray&) { release(sender); };
    get->OnError = release;
    get->URL = server.url("/");
    get->GetString();
    ASSERT_TRUE(spinUntil([&] { return get.isNull(); }, 5000));
    spinFor(50);
    EXPECT_EQ(calls, 1);
}

INSTANTIATE_TEST_SUITE_P(Lifetime, ReleaseInsideReply,
    testing::Values(ReleaseCase { "DeleteLaterFromOnDoneString", true, false },
        ReleaseCase { "DeleteLaterFromOnError", false, false }, ReleaseCase { "DeleteFromOnDoneString", true, true },
        ReleaseCase { "DeleteFromOnError", false, true }),
    [](const testing::TestParamInfo<ReleaseCase>& info) { return std::string(info.param.fault); });

struct ThrowCase
{
    const char* fault;
    bool pageArrives;
    bool standardException;
};

std::ostream& operator<<(std::ostream& out, const ThrowCase& c)
{
    return out << c.fault;
}

class ThrowingReplyHandler : public FetchLifetime, public testing::WithParamInterface<ThrowCase>
{
};

TEST_P(ThrowingReplyHandler, ThrowLosesTheReplyOrWedgesTheComponent)
{
    const ThrowCase& c = GetParam();
    std::atomic<bool> page { c.pageArrives };
    LocalHttpServer server(
        [&](const HttpRequest&, HttpConnection& connection) { connection.respond(200, page ? "page" : ""); });
    THTTPGet get;
    int calls = 0;
    const auto fail = [&] {
        ++calls;
        if (c.standardException) {
            throw std::runtime_error("handler failed");
        }
        throw 42;
    };
    get.OnDoneString = [&](THTTPGet*, const QByteArray&) { fail(); };
    get.OnError = [&](THTTPGet*) { fail(); };
    get.URL = server.url("/");
    get.GetString();
    ASSERT_TRUE(spinUntil([&] { return calls > 0; }, 5000));
    spinFor(100);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(get.isRunning());

    // The component is idle again: the next fetch runs and replies once.
    get.GetString();
    ASSERT_TRUE(spinUntil([&] { return calls > 1; }, 5000));
    spinFor(100);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(server.requestCount(), 2);
}

INSTANTIATE_TEST_SUITE_P(Lifetime, ThrowingReplyHandler,
    testing::Values(ThrowCase { "FromOnDoneString", true, true }, ThrowCase { "FromOnError", false, true },
        ThrowCase { "NonStandardFromOnDoneString", true, false }, ThrowCase { "NonStandardFromOnError", false, false }),
    [](const testing::TestParamInfo<ThrowCase>& info) { return std::string(info.param.fault); });

TEST_F(FetchLifetime, RepliesRunOnTheWorkerInsteadOfTheOwningThread)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) { connection.respond(200, "page"); });
    // The component lives and dies on a thread with an event loop of its own.
    QThread* progressThread = nullptr;
    QThread* replyThread = nullptr;
    QThread* ownerThread = nullptr;
    bool replied = false;
    std::unique_ptr<QThread> owner(QThread::create([&] {
        ownerThread = QThread::currentThread();
        THTTPGet get;
        get.URL = server.url("/");
        get.OnProgress = [&](THTTPGetThread*, qint32, qint32) { progressThread = QThread::currentThread(); };
        get.OnDoneString = [&](THTTPGet*, const QByteArray&) {
            replyThread = QThread::currentThread();
            replied = true;
        };
        get.GetString();
        spinUntil([&] { return replied; }, 5000);
    }));
    owner->start();
    ASSERT_TRUE(owner->wait(QDeadlineTimer(10000)));
    ASSERT_TRUE(replied);
    EXPECT_EQ(progressThread, ownerThread);
    EXPECT_EQ(replyThread, ownerThread);
    EXPECT_NE(ownerThread, QThread::currentThread());
}

} // namespace
