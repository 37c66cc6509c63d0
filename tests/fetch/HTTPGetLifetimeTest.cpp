#include "FetchTestSupport.h"
#include "fetch/THTTPGetThread.h"
#include "support/LocalHttpServer.h"

#include <QPointer>
#include <QThread>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace shoulu;

namespace {

class FetchLifetime : public testing::Test
{
protected:
    static void SetUpTestSuite() { ensureTestApplication(); }
    void TearDown() override { EXPECT_TRUE(THTTPGetThread::waitForAll(5000)); }
};

TEST_F(FetchLifetime, DestroyedMidFetchStillGetsAReply)
{
    LocalHttpServer server([](auto&, auto& c) {
        c.sleepMs(200);
        c.respond(200, "too late");
    });
    auto* get = new THTTPGet;
    const auto replies = watch(*get);
    get->URL = server.url();
    get->GetString();
    ASSERT_TRUE(server.waitForRequests(1, 5000));
    delete get;
    spinFor(500);
    EXPECT_EQ(replies->total(), 0);
}

TEST_F(FetchLifetime, DestroyedWithItsReplyQueuedLeavesTheWorkerWaiting)
{
    LocalHttpServer server([](auto&, auto& c) { c.respond(200, "page"); });
    auto* get = new THTTPGet;
    const auto replies = watch(*get);
    get->URL = server.url();
    get->GetString();
    ASSERT_TRUE(server.waitForRequests(1, 5000));
    QThread::msleep(200); // no event processed: the worker waits for its hand-over
    delete get;
    EXPECT_TRUE(THTTPGetThread::waitForAll(2000)); // released without the event loop's help
    spinFor(100);
    EXPECT_EQ(replies->total(), 0);
}

// Releasing (deleteLater() or delete) or throwing from inside the reply handler.
enum class InHandler { DeleteLater, Delete, Throw, ThrowNonStandard };

struct HandlerCase
{
    const char* fault;
    bool page;
    InHandler action;
};

std::ostream& operator<<(std::ostream& out, const HandlerCase& c)
{
    return out << c.fault;
}

class InsideTheReply : public FetchLifetime, public testing::WithParamInterface<HandlerCase>
{
};

TEST_P(InsideTheReply, SenderReleasedOrHandlerThrowingBreaksTheComponent)
{
    const HandlerCase& c = GetParam();
    LocalHttpServer server([&](auto&, auto& conn) { conn.respond(200, c.page ? "page" : ""); });
    QPointer<THTTPGet> get = new THTTPGet;
    int calls = 0;
    const auto handle = [&](THTTPGet* sender) {
        ++calls;
        switch (c.action) {
        case InHandler::DeleteLater:
            return sender->deleteLater();
        case InHandler::Delete:
            delete sender;
            return;
        case InHandler::Throw:
            throw std::runtime_error("handler failed");
        case InHandler::ThrowNonStandard:
            throw 42;
        }
    };
    get->OnDoneString = [&](THTTPGet* sender, const QByteArray&) { handle(sender); };
    get->OnError = handle;
    get->URL = server.url();
    get->GetString();
    ASSERT_TRUE(spinUntil([&] { return calls > 0; }, 5000));
    spinFor(100);
    EXPECT_EQ(calls, 1);
    if (c.action == InHandler::DeleteLater || c.action == InHandler::Delete) {
        EXPECT_TRUE(get.isNull());
        return;
    }
    // Idle again: the next fetch runs and replies once.
    EXPECT_FALSE(get->isRunning());
    get->GetString();
    ASSERT_TRUE(spinUntil([&] { return calls > 1; }, 5000));
    spinFor(100);
    EXPECT_EQ(calls, 2);
    delete get;
}

INSTANTIATE_TEST_SUITE_P(Lifetime, InsideTheReply,
    testing::Values(HandlerCase { "DeleteLaterFromOnDoneString", true, InHandler::DeleteLater },
        HandlerCase { "DeleteLaterFromOnError", false, InHandler::DeleteLater },
        HandlerCase { "DeleteFromOnDoneString", true, InHandler::Delete },
        HandlerCase { "DeleteFromOnError", false, InHandler::Delete },
        HandlerCase { "ThrowFromOnDoneString", true, InHandler::Throw },
        HandlerCase { "ThrowNonStandardFromOnError", false, InHandler::ThrowNonStandard }),
    [](const testing::TestParamInfo<HandlerCase>& info) { return std::string(info.param.fault); });

TEST_F(FetchLifetime, RepliesRunOnTheWorkerInsteadOfTheOwningThread)
{
    LocalHttpServer server([](auto&, auto& c) { c.respond(200, "page"); });
    // The component lives and dies on a thread with an event loop of its own.
    QThread* progressThread = nullptr;
    QThread* replyThread = nullptr;
    QThread* ownerThread = nullptr;
    std::unique_ptr<QThread> owner(QThread::create([&] {
        ownerThread = QThread::currentThread();
        THTTPGet get;
        get.URL = server.url();
        get.OnProgress = [&](THTTPGetThread*, qint32, qint32) { progressThread = QThread::currentThread(); };
        get.OnDoneString = [&](THTTPGet*, const QByteArray&) { replyThread = QThread::currentThread(); };
        get.GetString();
        spinUntil([&] { return replyThread != nullptr; }, 5000);
    }));
    owner->start();
    ASSERT_TRUE(owner->wait(QDeadlineTimer(10000)));
    EXPECT_NE(ownerThread, QThread::currentThread());
    EXPECT_EQ(progressThread, ownerThread);
    EXPECT_EQ(replyThread, ownerThread);
}

} // namespace
