// Each test owns its QCoreApplication and destroys it with fetches in flight.
#include "FetchTestSupport.h"
#include "fetch/THTTPGetThread.h"
#include "support/LocalHttpServer.h"

#include <QThread>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace shoulu;

namespace {

struct ShutdownCase
{
    const char* fault;
    bool serverStalls; // else it answers at once and the reply waits, unserved, for the event loop
};

std::ostream& operator<<(std::ostream& out, const ShutdownCase& c)
{
    return out << c.fault;
}

class ApplicationGone : public testing::TestWithParam<ShutdownCase>
{
};

TEST_P(ApplicationGone, FetchesInFlightHangOrOutliveTheApplication)
{
    int argc = 1;
    char name[] = "shutdown-test";
    char* argv[] = { name, nullptr };
    auto app = std::make_unique<QCoreApplication>(argc, argv);
    LocalHttpServer server([&](auto&, auto& c) {
        if (GetParam().serverStalls) {
            c.sleepMs(30000);
        }
        c.respond(200, "page");
    });
    // They outlive the application on purpose, as a window released after it would.
    std::vector<std::unique_ptr<THTTPGet>> gets;
    std::vector<std::shared_ptr<Replies>> replies;
    for (int i = 0; i < 3; ++i) {
        gets.push_back(std::make_unique<THTTPGet>());
        gets.back()->URL = server.url();
        replies.push_back(watch(*gets.back()));
        gets.back()->GetString();
    }
    ASSERT_TRUE(server.waitForRequests(3, 5000));
    QThread::msleep(200);
    EXPECT_EQ(THTTPGetThread::runningCount(), 3);

    // A deadlock here must fail the test (SIGALRM ends the process), not stall it.
    ::alarm(10);
    const auto start = Clock::now();
    app.reset();
    ::alarm(0);
    EXPECT_LT(msSince(start), 2000);
    EXPECT_EQ(THTTPGetThread::runningCount(), 0);
    gets.clear();
    for (const auto& reply : replies) {
        EXPECT_EQ(reply->total(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Shutdown, ApplicationGone,
    testing::Values(
        ShutdownCase { "WhileWorkersRead", true }, ShutdownCase { "WhileRepliesWaitForTheEventLoop", false }),
    [](const testing::TestParamInfo<ShutdownCase>& info) { return std::string(info.param.fault); });

TEST(FetchWithoutApplication, GetStringStartsAThreadNobodyServes)
{
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    THTTPGet get;
    get.URL = "http://127.0.0.1:9/";
    EXPECT_THROW(get.GetString(), std::runtime_error);
    EXPECT_FALSE(get.isRunning());
    EXPECT_EQ(THTTPGetThread::runningCount(), 0);
}

} // namespace
