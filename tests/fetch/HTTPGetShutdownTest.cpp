// Each test owns its QCoreApplication and destroys it with fetches in flight.
#include "FetchTestSupport.h"
#include "fetch/THTTPGetThread.h"
#include "support/LocalHttpServer.h"

#include <QThread>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

using namespace shoulu;

namespace {

// Ends the process if a step hangs, so that a deadlock fails the test instead of stalling it.
class Watchdog
{
public:
    Watchdog(int ms, const char* what)
        : m_thread([this, ms, what] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_cancelled; })) {
                std::fprintf(stderr, "hung: %s\n", what);
                std::_Exit(3);
            }
        })
    { }
    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_cancelled = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_cancelled = false;
    std::thread m_thread;
};

class FetchShutdown : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QCoreApplication::instance(), nullptr);
        createApplication();
    }
    void createApplication() { m_app = std::make_unique<QCoreApplication>(m_argc, m_argv); }
    void TearDown() override { m_app.reset(); }

    // Destroys the application under a watchdog; returns how long that took.
    qint64 destroyApplication()
    {
        const Watchdog watchdog(10000, "destroying the application");
        const auto start = Clock::now();
        m_app.reset();
        return msSince(start);
    }

    std::unique_ptr<QCoreApplication> m_app;

private:
    int m_argc = 1;
    char m_name[16] = "shutdown-test";
    char* m_argv[2] = { m_name, nullptr };
};

std::shared_ptr<Replies> watch(THTTPGet& get)
{
    auto replies = std::make_shared<Replies>();
    get.OnDoneString = [replies](THTTPGet*, const QByteArray&) { ++replies->done; };
    get.OnError = [replies](THTTPGet*) { ++replies->errors; };
    return replies;
}

TEST_F(FetchShutdown, ApplicationGoneWithStalledFetchesLeavesThreadsRunning)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) { connection.sleepMs(30000); });
    // Outlive the application on purpose, as a window released after it would.
    std::vector<std::unique_ptr<THTTPGet>> gets;
    std::vector<std::shared_ptr<Replies>> replies;
    for (int i = 0; i < 3; ++i) {
        gets.push_back(std::make_unique<THTTPGet>());
        gets.back()->URL = server.url("/");
        replies.push_back(watch(*gets.back()));
        gets.back()->GetString();
    }
    ASSERT_TRUE(server.waitForRequests(3, 5000));
    EXPECT_EQ(THTTPGetThread::runningCount(), 3);

    EXPECT_LT(destroyApplication(), 2000);
    EXPECT_EQ(THTTPGetThread::runningCount(), 0);
    gets.clear();
    for (const auto& reply : replies) {
        EXPECT_EQ(reply->total(), 0);
    }
}

TEST_F(FetchShutdown, ApplicationGoneWhileAWorkerWaitsForItsHandOverDeadlocks)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) { connection.respond(200, "page"); });
    auto get = std::make_unique<THTTPGet>();
    const auto replies = watch(*get);
    get->URL = server.url("/");
    get->GetString();
    ASSERT_TRUE(server.waitForRequests(1, 5000));
    QThread::msleep(200); // the worker has queued its reply and waits for the event loop

    EXPECT_LT(destroyApplication(), 2000);
    EXPECT_EQ(THTTPGetThread::runningCount(), 0);
    get.reset();
    EXPECT_EQ(replies->total(), 0);
}

TEST_F(FetchShutdown, SecondApplicationNoLongerShutsItsFetchesDown)
{
    LocalHttpServer server([](const HttpRequest& request, HttpConnection& connection) {
        if (request.target == "/stall") {
            connection.sleepMs(30000);
        }
        connection.respond(200, "page");
    });
    {
        THTTPGet get;
        get.URL = server.url("/");
        EXPECT_EQ(fetchAndWait(get).done, 1);
    }
    destroyApplication();
    createApplication();

    auto get = std::make_unique<THTTPGet>();
    const auto replies = watch(*get);
    get->URL = server.url("/stall");
    get->GetString();
    ASSERT_TRUE(server.waitForRequests(2, 5000));
    EXPECT_LT(destroyApplication(), 2000);
    EXPECT_EQ(THTTPGetThread::runningCount(), 0);
    get.reset();
    EXPECT_EQ(replies->total(), 0);
}

TEST(FetchWithoutApplication, GetStringWithoutApplicationStartsAThreadNobodyServes)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    THTTPGet get;
    get.URL = "http://127.0.0.1:9/";
    EXPECT_THROW(get.GetString(), std::runtime_error);
    EXPECT_FALSE(get.isRunning());
    EXPECT_EQ(THTTPGetThread::runningCount(), 0);
}

} // namespace
