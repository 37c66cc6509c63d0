#include "FetchTestSupport.h"
#include "fetch/THTTPGetThread.h"
#include "support/LocalHttpServer.h"
#include "support/ProxyVariable.h"

#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

using namespace shoulu;

namespace {

// Bytes of every value, NUL included, in an order that shows any shift or loss.
QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        bytes[i] = char((i * 31 + size) & 0xFF);
    }
    return bytes;
}

class FetchTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ensureTestApplication();
        // Fetches go to 127.0.0.1 itself, whatever proxy the machine running the tests uses.
        qunsetenv("http_proxy");
        qunsetenv("all_proxy");
    }
    // No worker may be left waiting or running once its fetch has replied.
    void TearDown() override { EXPECT_TRUE(THTTPGetThread::waitForAll(5000)); }
};

// ---- what the server sends, and what the caller gets -----------------------------------------

struct OutcomeCase
{
    const char* fault;
    LocalHttpServer::Handler reply;
    std::optional<QByteArray> page; // none: OnError expected
    FetchLimits limits = {};
};

std::ostream& operator<<(std::ostream& out, const OutcomeCase& c)
{
    return out << c.fault;
}

class Outcome : public FetchTest, public testing::WithParamInterface<OutcomeCase>
{
};

TEST_P(Outcome, ExactlyOneReplyWithTheBodyAsSent)
{
    LocalHttpServer server(GetParam().reply);
    THTTPGet get;
    get.URL = server.url("/start");
    get.setLimits(GetParam().limits);
    // Stalling servers sleep for 30 s: a reply within 5 s shows the time-out at work.
    const Replies replies = fetchAndWait(get, 5000);
    ASSERT_EQ(replies.total(), 1);
    EXPECT_EQ(replies.done, GetParam().page ? 1 : 0);
    if (GetParam().page) {
        EXPECT_EQ(replies.body.size(), GetParam().page->size());
        EXPECT_TRUE(replies.body == *GetParam().page);
    }
}

const FetchLimits kShortTimeOut { .connectTimeoutMs = 5000, .fetchTimeoutMs = 300 };
const FetchLimits kSmallCap { .maxBodyBytes = 64 * 1024 };
const QByteArray kChunks[] = { pattern(1), pattern(1024), QByteArray("\0\0", 2), pattern(1025), pattern(16385) };
const QByteArray kGzip("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\x4b\x04\x00\x43\xbe\xb7\xe8\x01\x00\x00\x00", 21);

void sendHead(HttpConnection& c, const QByteArray& fields)
{
    c.send(QByteArray("HTTP/1.1 200 OK\r\n" + fields + "\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Fetch, Outcome,
    testing::Values(OutcomeCase { "EmptyBodyTakenForAPage", [](auto&, auto& c) { c.respond(200, ""); }, std::nullopt },
        OutcomeCase { "OneByteBodyLost", [](auto&, auto& c) { c.respond(200, "x"); }, "x" },
        OutcomeCase { "ErrorStatusWithBodyTakenForAFailure", [](auto&, auto& c) { c.respond(404, "<p>gone</p>"); },
            "<p>gone</p>" },
        OutcomeCase { "NulBytesOrOddChunksShiftTheBody",
            [](auto&, auto& c) {
                sendHead(c, "Transfer-Encoding: chunked\r\n");
                for (const QByteArray& chunk : kChunks) {
                    c.send(QByteArray(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n"));
                    c.sleepMs(2);
                }
                c.send("0\r\n\r\n");
            },
            kChunks[0] + kChunks[1] + kChunks[2] + kChunks[3] + kChunks[4] },
        OutcomeCase { "CloseDelimitedBodyLost",
            [](auto&, auto& c) {
                sendHead(c, "Connection: close\r\n");
                c.send(pattern(5000));
                c.sleepMs(2);
                c.send(QByteArray(1, '\0'));
            },
            pattern(5000) + QByteArray(1, '\0') },
        OutcomeCase { "ReplyCutShortThrowsThePageAway",
            [](auto&, auto& c) {
                sendHead(c, "Content-Length: 1000\r\n");
                c.send("<html>half");
                c.sleepMs(20);
                c.reset();
            },
            "<html>half" },
        OutcomeCase { "ResetBeforeAnyBodyByteTakenForAPage",
            [](auto&, auto& c) {
                sendHead(c, "Content-Length: 10\r\n");
                c.sleepMs(20);
                c.reset();
            },
            std::nullopt },
        OutcomeCase { "RedirectNotFollowed",
            [](const HttpRequest& r, auto& c) {
                r.target == "/final" ? c.respond(200, "landed") : c.respond(302, "x", { { "Location", "/final" } });
            },
            "landed" },
        OutcomeCase { "EndlessRedirectsFollowedForEver",
            [](auto&, auto& c) {
                c.respond(302, "again", { { "Location", "/loop" } });
            },
            std::nullopt },
        OutcomeCase { "CompressedBodyDecoded",
            [](auto&, auto& c) {
                c.respond(200, kGzip, { { "Content-Encoding", "gzip" } });
            },
            kGzip },
        OutcomeCase { "StallBeforeTheReplyOutlivesTheTimeOut", [](auto&, auto& c) { c.sleepMs(30000); }, std::nullopt,
            kShortTimeOut },
        OutcomeCase { "StallMidBodyDeliversAHalfPage",
            [](auto&, auto& c) {
                sendHead(c, "Content-Length: 100\r\n");
                c.send("begin");
                c.sleepMs(30000);
            },
            std::nullopt, kShortTimeOut },
        OutcomeCase { "BodyAtTheCapRefused", [](auto&, auto& c) { c.respond(200, pattern(64 * 1024)); },
            pattern(64 * 1024), kSmallCap },
        OutcomeCase { "AnnouncedBodyOverTheCapKept", [](auto&, auto& c) { c.respond(200, pattern(64 * 1024 + 1)); },
            std::nullopt, kSmallCap },
        OutcomeCase { "UnannouncedBodyOverTheCapKept",
            [](auto&, auto& c) {
                sendHead(c, "Connection: close\r\n");
                c.send(pattern(200 * 1024));
            },
            std::nullopt, kSmallCap },
        OutcomeCase { "DefaultCapLetsAHugeBodyThrough",
            [](auto&, auto& c) {
                sendHead(c, "Connection: close\r\n");
                const QByteArray block(1024 * 1024, 'z');
                for (qint64 sent = 0; sent <= kMaxBodyBytes && c.send(block); sent += block.size()) { }
            },
            std::nullopt }),
    [](const testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.fault); });

// A listener whose accept queue is full: the kernel drops further connection attempts, so a
// client stays "connecting" until it gives up.
class FullListener
{
public:
    FullListener()
    {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, 0);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        url = "http://127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)) + "/";
        for (int& filler : m_fillers) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
    }
    ~FullListener()
    {
        for (const int fd : m_fillers) {
            ::close(fd);
        }
        ::close(m_fd);
    }
    QByteArray url;

private:
    int m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int m_fillers[4] = {};
};

TEST_F(FetchTest, UnreachableServerLeavesTheCallerWaiting)
{
    THTTPGet get;
    {
        LocalHttpServer closed([](auto&, auto&) {});
        get.URL = closed.url();
    }
    EXPECT_EQ(fetchAndWait(get, 5000).errors, 1); // refused

    get.URL = "http://:8080/";
    EXPECT_EQ(fetchAndWait(get, 5000).errors, 1); // no host

    FullListener listener;
    get.URL = listener.url;
    get.setLimits({ .connectTimeoutMs = 300 });
    const auto start = Clock::now();
    EXPECT_EQ(fetchAndWait(get, 5000).errors, 1);
    EXPECT_GE(msSince(start), 250);
}

// ---- Abort -----------------------------------------------------------------------------------

TEST_F(FetchTest, AbortWaitsForTheConnectionOrTheRead)
{
    std::atomic<bool> partSent { false };
    LocalHttpServer server([&](auto&, auto& c) {
        sendHead(c, "Content-Length: 100\r\n");
        partSent = c.send("part");
        c.sleepMs(30000);
    });
    FullListener listener;
    for (const QByteArray& url : { server.url(), listener.url }) {
        THTTPGet get;
        const auto replies = watch(get);
        get.URL = url;
        get.GetString();
        // Past libcurl's own early wake-ups: from here on it would sleep up to a second.
        spinFor(400);
        EXPECT_TRUE(partSent || url == listener.url);
        const auto start = Clock::now();
        get.Abort();
        ASSERT_TRUE(spinUntil([&] { return replies->total() > 0; }, 5000));
        EXPECT_LT(msSince(start), 500) << url.constData();
        spinFor(30);
        EXPECT_EQ(replies->errors, 1);
        EXPECT_EQ(replies->total(), 1);
    }
}

TEST_F(FetchTest, AbortAfterTheBodyArrivedStillDeliversThePage)
{
    LocalHttpServer server([](auto&, auto& c) { c.respond(200, "page"); });
    THTTPGet get;
    const auto replies = watch(get);
    get.URL = server.url();
    get.GetString();
    ASSERT_TRUE(server.waitForRequests(1, 5000));
    QThread::msleep(100); // the reply is queued but not yet handed over
    get.Abort();
    ASSERT_TRUE(spinUntil([&] { return replies->total() > 0; }, 5000));
    EXPECT_EQ(replies->errors, 1);
}

// ---- one event per fetch ---------------------------------------------------------------------

TEST_F(FetchTest, SecondGetStringWhileRunningStartsAnotherFetch)
{
    LocalHttpServer server([](auto&, auto& c) {
        c.sleepMs(100);
        c.respond(200, "once");
    });
    THTTPGet get;
    const auto replies = watch(get);
    get.URL = server.url();
    get.GetString();
    get.GetString();
    ASSERT_TRUE(spinUntil([&] { return replies->total() > 0; }, 5000));
    spinFor(300);
    EXPECT_EQ(replies->done, 1);
    EXPECT_EQ(replies->total(), 1);
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(FetchTest, GetStringInsideOnDoneStringStartsAFetch)
{
    LocalHttpServer server([](const HttpRequest& r, auto& c) { c.respond(200, r.target); });
    THTTPGet get;
    std::vector<QByteArray> bodies;
    get.OnDoneString = [&](THTTPGet* sender, const QByteArray& body) {
        bodies.push_back(body);
        sender->URL = server.url("/second");
        sender->GetString();
    };
    get.URL = server.url("/first");
    get.GetString();
    ASSERT_TRUE(spinUntil([&] { return !bodies.empty(); }, 5000));
    spinFor(200);
    EXPECT_EQ(bodies.size(), 1u);
    EXPECT_EQ(server.requestCount(), 1);

    get.GetString(); // the handler has returned: this one runs
    ASSERT_TRUE(spinUntil([&] { return bodies.size() == 2; }, 5000));
    EXPECT_EQ(bodies[1], "/second");
}

TEST_F(FetchTest, ProgressComesAfterTheReplyOrWithWrongCounts)
{
    LocalHttpServer server([](auto&, auto& c) {
        sendHead(c, "Content-Length: 50000\r\n");
        for (int i = 0; i < 5; ++i) {
            c.send(pattern(10000));
            c.sleepMs(5);
        }
    });
    THTTPGet get;
    std::vector<std::pair<qint32, qint32>> progress;
    get.OnProgress = [&](THTTPGetThread* sender, qint32 totalSize, qint32 readed) {
        EXPECT_EQ(sender->Readed(), readed);
        progress.emplace_back(totalSize, readed);
    };
    get.URL = server.url();
    const Replies replies = fetchAndWait(get);
    ASSERT_EQ(replies.done, 1);
    ASSERT_GE(progress.size(), 2u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.front().first, 50000);
    EXPECT_EQ(progress.back(), std::make_pair(50000, 50000));

    // A progress handler that throws ends the fetch as a failure, still with one reply.
    get.OnProgress = [](THTTPGetThread*, qint32, qint32) { throw std::runtime_error("progress handler failed"); };
    const Replies failed = fetchAndWait(get);
    EXPECT_EQ(failed.errors, 1);
    EXPECT_EQ(failed.total(), 1);
}

// ---- the request on the wire -----------------------------------------------------------------

TEST_F(FetchTest, RequestHeadersOrTargetMangled)
{
    LocalHttpServer server([](auto&, auto& c) { c.respond(200, "ok"); });
    THTTPGet get;
    get.Agent = QStringLiteral("Mozilla/4.0 (test)");
    get.URL = server.url("/s?wd=site:a b\xB0\xD9&x=%41");
    ASSERT_EQ(fetchAndWait(get).done, 1);
    HttpRequest request = server.lastRequest();
    EXPECT_EQ(
        request.method + ' ' + request.target + ' ' + request.version, "GET /s?wd=site:a%20b\xB0\xD9&x=%41 HTTP/1.1");
    EXPECT_EQ(request.host, "127.0.0.1:" + QByteArray::number(server.port()));
    EXPECT_EQ(request.header("User-Agent"), "Mozilla/4.0 (test)");
    EXPECT_EQ(request.header("Accept"), "*/*");
    EXPECT_EQ(request.header("Cache-Control"), "no-cache");
    EXPECT_EQ(request.header("Pragma"), "no-cache");
    for (const char* absent : { "Accept-Encoding", "Referer", "Authorization" }) {
        EXPECT_FALSE(request.hasHeader(absent)) << absent;
    }

    get.Agent.clear();
    get.UseCache = true;
    get.AcceptTypes = QStringLiteral("text/html");
    get.Referer = QStringLiteral("http://ref.example/");
    get.UserName = QStringLiteral("user");
    get.Password = QStringLiteral("secret");
    ASSERT_EQ(fetchAndWait(get).done, 1);
    request = server.lastRequest();
    for (const char* absent : { "User-Agent", "Cache-Control", "Pragma" }) {
        EXPECT_FALSE(request.hasHeader(absent)) << absent;
    }
    EXPECT_EQ(request.header("Accept"), "text/html");
    EXPECT_EQ(request.header("Referer"), "http://ref.example/");
    EXPECT_EQ(request.header("Authorization"), "Basic " + QByteArray("user:secret").toBase64());
}

TEST_F(FetchTest, CookiesLanguageAndWhereTheRequestEnded)
{
    LocalHttpServer server([](const HttpRequest& request, HttpConnection& c) {
        if (request.target.startsWith("/start")) {
            c.respond(302, "", { { "Location", "/verify?from=start" }, { "Set-Cookie", "BAIDUID=abc; Path=/" } });
        } else {
            c.respond(429, "slow down", { { "Content-Type", "text/html; charset=gbk" } });
        }
    });
    auto jar = std::make_shared<CookieJar>();
    THTTPGet get;
    get.AcceptLanguage = QStringLiteral("zh-CN,zh;q=0.9");
    get.Cookies = jar;
    get.URL = server.url("/start");
    ASSERT_EQ(fetchAndWait(get).done, 1);
    EXPECT_EQ(get.reply().httpStatus, 429);
    EXPECT_EQ(get.reply().finalUrl, server.url("/verify?from=start"));
    EXPECT_EQ(get.reply().contentType, "text/html; charset=gbk");
    EXPECT_EQ(server.lastRequest().header("Accept-Language"), "zh-CN,zh;q=0.9");
    EXPECT_EQ(server.lastRequest().header("Cookie"), "BAIDUID=abc");

    // Another fetch of the same engine brings the cookie back; one without the jar does not.
    THTTPGet again;
    again.Cookies = jar;
    again.URL = server.url("/other");
    ASSERT_EQ(fetchAndWait(again).done, 1);
    EXPECT_EQ(server.lastRequest().header("Cookie"), "BAIDUID=abc");
    THTTPGet stranger;
    stranger.URL = server.url("/other");
    ASSERT_EQ(fetchAndWait(stranger).done, 1);
    EXPECT_FALSE(server.lastRequest().hasHeader("Cookie"));

    // A failure says why.
    LocalHttpServer silent([](auto&, auto& c) { c.respond(200, ""); });
    THTTPGet empty;
    empty.URL = silent.url("/");
    ASSERT_EQ(fetchAndWait(empty).errors, 1);
    EXPECT_EQ(empty.reply().httpStatus, 200);
    EXPECT_FALSE(empty.reply().error.isEmpty());
}

// The proxy handed to a fetch decides, whatever the environment names by the time it runs.
TEST_F(FetchTest, ProxySettingWinsOverTheEnvironment)
{
    LocalHttpServer given([](auto&, auto& c) { c.respond(200, "given"); });
    LocalHttpServer named([](auto&, auto& c) { c.respond(200, "named"); });
    LocalHttpServer origin([](auto&, auto& c) { c.respond(200, "origin"); });
    struct Case
    {
        const char* what;
        std::optional<QByteArray> environment;
        ProxySetting setting;
        QByteArray url;
        QByteArray body;
    };
    const Case cases[] = {
        { "environment names another", named.url(""), ProxySetting::via(given.url("")), "http://www.baidu.com/",
            "given" },
        { "environment names none", std::nullopt, ProxySetting::via(given.url("")), "http://www.baidu.com/", "given" },
        { "direct", named.url(""), ProxySetting {}, origin.url("/page"), "origin" },
        { "host listed as no-proxy", named.url(""), { given.url(""), given.url(""), "127.0.0.1" }, origin.url("/"),
            "origin" },
    };
    for (const Case& c : cases) {
        THTTPGet get;
        get.Proxy = c.setting;
        get.URL = c.url;
        std::optional<test::ProxyVariable> environment;
        if (c.environment) {
            environment.emplace(*c.environment);
        }
        EXPECT_EQ(fetchAndWait(get).body, c.body) << c.what;
    }
}

TEST_F(FetchTest, ProxyFromTheEnvironmentIgnored)
{
    LocalHttpServer proxy([](auto&, auto& c) { c.respond(200, "via proxy"); });
    const QByteArray noProxy = qgetenv("no_proxy");
    const QByteArray noProxyUpper = qgetenv("NO_PROXY");
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    qputenv("http_proxy", proxy.url(""));
    THTTPGet get;
    get.URL = "http://www.baidu.com/s?wd=x";
    const Replies replies = fetchAndWait(get);
    EXPECT_TRUE(THTTPGetThread::waitForAll(5000)); // no worker reads the environment any more
    qunsetenv("http_proxy");
    for (const auto& [name, value] : { std::pair("no_proxy", noProxy), std::pair("NO_PROXY", noProxyUpper) }) {
        if (!value.isEmpty()) {
            qputenv(name, value);
        }
    }
    EXPECT_EQ(replies.body, "via proxy");
    EXPECT_EQ(proxy.lastRequest().target, "http://www.baidu.com/s?wd=x");
    EXPECT_EQ(proxy.lastRequest().host, "www.baidu.com");
}

TEST_F(FetchTest, SevenFetchesOfOneDomainRunOneAfterAnother)
{
    LocalHttpServer server([](const HttpRequest& r, auto& c) {
        c.sleepMs(300);
        c.respond(200, r.target);
    });
    std::vector<std::unique_ptr<Tmyhttpget>> gets;
    std::vector<int> answered;
    for (int engine = 0; engine < 7; ++engine) {
        gets.push_back(std::make_unique<Tmyhttpget>());
        gets.back()->EngineIndex = engine;
        gets.back()->URL = server.url(QByteArray("/" + QByteArray::number(engine)));
        gets.back()->OnDoneString = [&](THTTPGet* sender, const QByteArray& body) {
            const int engineIndex = static_cast<Tmyhttpget*>(sender)->EngineIndex;
            EXPECT_EQ(body, "/" + QByteArray::number(engineIndex));
            answered.push_back(engineIndex);
        };
    }
    const auto start = Clock::now();
    for (auto& get : gets) {
        get->GetString();
    }
    ASSERT_TRUE(spinUntil([&] { return answered.size() == 7; }, 10000));
    EXPECT_LT(msSince(start), 1500); // one after another takes 2100 ms
    std::sort(answered.begin(), answered.end());
    EXPECT_EQ(answered, (std::vector<int> { 0, 1, 2, 3, 4, 5, 6 }));
}

} // namespace
