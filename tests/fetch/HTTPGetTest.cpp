#include "FetchTestSupport.h"
#include "fetch/THTTPGetThread.h"
#include "support/LocalHttpServer.h"

#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace shoulu;

namespace {

// Bytes of every value, NUL included, in an order that shows any shift or loss.
QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        bytes[i] = char((i * 31 + seed) & 0xFF);
    }
    return bytes;
}

void sendChunked(HttpConnection& connection, const std::vector<QByteArray>& pieces)
{
    connection.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
    for (const QByteArray& piece : pieces) {
        connection.send(QByteArray(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n"));
        connection.sleepMs(2);
    }
    connection.send("0\r\n\r\n");
}

class FetchTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        testApplication();
        // Replies come from 127.0.0.1 itself, whatever proxy the machine running the tests uses.
        for (const char* name : { "http_proxy", "all_proxy", "ALL_PROXY" }) {
            ::unsetenv(name);
        }
    }

    void TearDown() override
    {
        // Every worker ends: none may be left waiting or running once its fetch has replied.
        EXPECT_TRUE(THTTPGetThread::waitForAll(5000));
    }
};

// ---- bodies arrive byte for byte -------------------------------------------------------------

enum class Framing { ContentLength, Chunked, CloseDelimited };

struct BodyCase
{
    const char* fault;
    Framing framing;
    std::vector<QByteArray> pieces;
};

std::ostream& operator<<(std::ostream& out, const BodyCase& c)
{
    return out << c.fault;
}

class BodyBytes : public FetchTest, public testing::WithParamInterface<BodyCase>
{
};

TEST_P(BodyBytes, ArriveExactlyAsSent)
{
    const BodyCase& c = GetParam();
    QByteArray whole;
    for (const QByteArray& piece : c.pieces) {
        whole += piece;
    }
    LocalHttpServer server([&](const HttpRequest&, HttpConnection& connection) {
        if (c.framing == Framing::Chunked) {
            sendChunked(connection, c.pieces);
            return;
        }
        connection.send(c.framing == Framing::ContentLength
                ? "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(whole.size()) + "\r\n\r\n"
                : QByteArray("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"));
        for (const QByteArray& piece : c.pieces) {
            connection.send(piece);
            connection.sleepMs(2);
        }
    });
    THTTPGet get;
    get.URL = server.url("/page");
    const Replies replies = fetchAndWait(get);
    ASSERT_EQ(replies.done, 1);
    EXPECT_EQ(replies.errors, 0);
    EXPECT_EQ(replies.body.size(), whole.size());
    EXPECT_TRUE(replies.body == whole);
}

INSTANTIATE_TEST_SUITE_P(Fetch, BodyBytes,
    testing::Values(BodyCase { "OneByteBodyLost", Framing::ContentLength, { "x" } },
        BodyCase { "NulBytesCutTheBody", Framing::Chunked, { QByteArray("a\0b", 3), QByteArray(1, '\0'), "c" } },
        BodyCase { "OddChunkingsShiftBytes", Framing::Chunked,
            { pattern(1, 1), pattern(1024, 2), pattern(1025, 3), pattern(1026, 4), pattern(3, 5), pattern(16385, 6) } },
        BodyCase { "CloseDelimitedBodyLost", Framing::CloseDelimited, { pattern(5000, 7), pattern(1, 8) } },
        BodyCase { "LargeBodyTruncated", Framing::ContentLength, { pattern(700000, 9), pattern(300001, 10) } }),
    [](const testing::TestParamInfo<BodyCase>& info) { return std::string(info.param.fault); });

// ---- success and failure ---------------------------------------------------------------------

TEST_F(FetchTest, EmptyBodyTakenForAPage)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) { connection.respond(200, ""); });
    THTTPGet get;
    get.URL = server.url("/");
    const Replies replies = fetchAndWait(get);
    EXPECT_EQ(replies.errors, 1);
    EXPECT_EQ(replies.done, 0);
}

TEST_F(FetchTest, ErrorStatusWithBodyTakenForAFailure)
{
    LocalHttpServer server(
        [](const HttpRequest&, HttpConnection& connection) { connection.respond(404, "<html>gone</html>"); });
    THTTPGet get;
    get.URL = server.url("/missing");
    const Replies replies = fetchAndWait(get);
    ASSERT_EQ(replies.done, 1);
    EXPECT_EQ(replies.body, "<html>gone</html>");
}

TEST_F(FetchTest, RefusedConnectionLeavesCallerWaiting)
{
    QByteArray url;
    {
        LocalHttpServer closed([](const HttpRequest&, HttpConnection&) {});
        url = closed.url("/");
    }
    THTTPGet get;
    get.URL = url;
    const Replies replies = fetchAndWait(get);
    EXPECT_EQ(replies.errors, 1);
    EXPECT_EQ(replies.done, 0);
}

TEST_F(FetchTest, MalformedAddressLeavesCallerWaiting)
{
    THTTPGet get;
    get.URL = "http://:8080/x";
    const Replies replies = fetchAndWait(get);
    EXPECT_EQ(replies.errors, 1);
}

TEST_F(FetchTest, ReplyCutShortAfterSomeBytesThrowsThePageAway)
{
    // Content-Length promises more than comes: what did come is the page.
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) {
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n<html>half");
        connection.sleepMs(20);
        connection.reset();
    });
    THTTPGet get;
    get.URL = server.url("/");
    const Replies replies = fetchAndWait(get);
    ASSERT_EQ(replies.done, 1);
    EXPECT_EQ(replies.body, "<html>half");
}

TEST_F(FetchTest, ResetBeforeAnyBodyByteTakenForAPage)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) {
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n");
        connection.sleepMs(20);
        connection.reset();
    });
    THTTPGet get;
    get.URL = server.url("/");
    const Replies replies = fetchAndWait(get);
    EXPECT_EQ(replies.errors, 1);
    EXPECT_EQ(replies.done, 0);
}

TEST_F(FetchTest, RedirectNotFollowedOrFollowedForEver)
{
    LocalHttpServer server([](const HttpRequest& request, HttpConnection& connection) {
        if (request.target == "/final") {
            connection.respond(200, "landed");
        } else if (request.target == "/loop") {
            connection.respond(302, "again", { { "Location", "/loop" } });
        } else {
            connection.respond(302, "moved", { { "Location", "/final" } });
        }
    });
    THTTPGet get;
    get.URL = server.url("/start");
    const Replies followed = fetchAndWait(get);
    ASSERT_EQ(followed.done, 1);
    EXPECT_EQ(followed.body, "landed");

    get.URL = server.url("/loop");
    const Replies loop = fetchAndWait(get);
    EXPECT_EQ(loop.errors, 1);
    EXPECT_LE(server.requestCount(), 2 + 1 + kMaxRedirects);
}

TEST_F(FetchTest, CompressedBodyAlteredByDecoding)
{
    const QByteArray gzipped(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\x4b\x04\x00\x43\xbe\xb7\xe8\x01\x00\x00\x00", 21);
    LocalHttpServer server([&](const HttpRequest&, HttpConnection& connection) {
        connection.respond(200, gzipped, { { "Content-Encoding", "gzip" } });
    });
    THTTPGet get;
    get.URL = server.url("/");
    const Replies replies = fetchAndWait(get);
    ASSERT_EQ(replies.done, 1);
    EXPECT_TRUE(replies.body == gzipped);
}

// ---- bounded time and memory -----------------------------------------------------------------

TEST_F(FetchTest, StallBeforeAnyReplyOutlivesTheFetchTimeOut)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) { connection.sleepMs(30000); });
    THTTPGet get;
    get.URL = server.url("/");
    get.setLimits({ .connectTimeoutMs = 5000, .fetchTimeoutMs = 300, .maxBodyBytes = kMaxBodyBytes });
    const auto start = Clock::now();
    const Replies replies = fetchAndWait(get);
    EXPECT_EQ(replies.errors, 1);
    EXPECT_LT(msSince(start), 3000);
}

TEST_F(FetchTest, StallMidBodyDeliversAHalfPageInsteadOfTimingOut)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) {
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nbegin");
        connection.sleepMs(30000);
    });
    THTTPGet get;
    get.URL = server.url("/");
    get.setLimits({ .connectTimeoutMs = 5000, .fetchTimeoutMs = 300, .maxBodyBytes = kMaxBodyBytes });
    const auto start = Clock::now();
    const Replies replies = fetchAndWait(get);
    EXPECT_EQ(replies.errors, 1);
    EXPECT_EQ(replies.done, 0);
    EXPECT_LT(msSince(start), 3000);
}

// A listener whose accept queue is full: the kernel drops further connection attempts, so a
// client stays in "connecting" until it gives up.
class FullListener
{
public:
    FullListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, 0);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(client);
        }
    }
    ~FullListener()
    {
        for (const int fd : m_fillers) {
            ::close(fd);
        }
        ::close(m_fd);
    }
    QByteArray url() const { return "http://127.0.0.1:" + QByteArray::number(m_port) + "/"; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
    std::vector<int> m_fillers;
};

TEST_F(FetchTest, ConnectThatNeverCompletesOutlivesTheConnectTimeOut)
{
    FullListener listener;
    THTTPGet get;
    get.URL = listener.url();
    get.setLimits({ .connectTimeoutMs = 300, .fetchTimeoutMs = 30000, .maxBodyBytes = kMaxBodyBytes });
    const auto start = Clock::now();
    const Replies replies = fetchAndWait(get);
    EXPECT_EQ(replies.errors, 1);
    EXPECT_GE(msSince(start), 250);
    EXPECT_LT(msSince(start), 3000);
}

struct CapCase
{
    const char* fault;
    qint64 bodySize;
    bool announceLength;
    bool delivered;
};

std::ostream& operator<<(std::ostream& out, const CapCase& c)
{
    return out << c.fault;
}

class BodyCap : public FetchTest, public testing::WithParamInterface<CapCase>
{
};

constexpr qint64 kSmallCap = 64 * 1024;

TEST_P(BodyCap, BodyAboveTheCapFails)
{
    const CapCase& c = GetParam();
    const QByteArray body = pattern(int(c.bodySize), 11);
    LocalHttpServer server([&](const HttpRequest&, HttpConnection& connection) {
        if (c.announceLength) {
            connection.respond(200, body);
        } else {
            connection.send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            connection.send(body);
        }
    });
    THTTPGet get;
    get.URL = server.url("/");
    get.setLimits({ .connectTimeoutMs = 5000, .fetchTimeoutMs = 30000, .maxBodyBytes = kSmallCap });
    const Replies replies = fetchAndWait(get);
    EXPECT_EQ(replies.done, c.delivered ? 1 : 0);
    EXPECT_EQ(replies.errors, c.delivered ? 0 : 1);
    if (c.delivered) {
        EXPECT_TRUE(replies.body == body);
    }
}

INSTANTIATE_TEST_SUITE_P(Fetch, BodyCap,
    testing::Values(CapCase { "BodyAtTheCapRefused", kSmallCap, true, true },
        CapCase { "AnnouncedBodyOverTheCapKept", kSmallCap + 1, true, false },
        CapCase { "UnannouncedBodyAtTheCapRefused", kSmallCap, false, true },
        CapCase { "UnannouncedBodyOverTheCapKept", kSmallCap + 1, false, false },
        CapCase { "HugeUnannouncedBodyKept", 4 * kSmallCap, false, false }),
    [](const testing::TestParamInfo<CapCase>& info) { return std::string(info.param.fault); });

TEST_F(FetchTest, DefaultCapLetsAHugeBodyThrough)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) {
        connection.send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
        const QByteArray block(1024 * 1024, 'z');
        for (qint64 sent = 0; sent <= kMaxBodyBytes && connection.send(block); sent += block.size()) { }
    });
    THTTPGet get;
    get.URL = server.url("/");
    const Replies replies = fetchAndWait(get, 30000);
    EXPECT_EQ(replies.errors, 1);
    EXPECT_EQ(replies.done, 0);
}

// ---- Abort -----------------------------------------------------------------------------------

TEST_F(FetchTest, AbortMidReadWaitsForTheServer)
{
    std::atomic<bool> partSent { false };
    LocalHttpServer server([&](const HttpRequest&, HttpConnection& connection) {
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
        partSent = true;
        connection.sleepMs(30000);
    });
    THTTPGet get;
    Replies replies;
    replies.attach(get);
    get.URL = server.url("/");
    get.GetString();
    ASSERT_TRUE(spinUntil([&] { return partSent.load(); }, 5000));
    spinFor(400); // the worker now sits in its read, past libcurl's own early wake-ups
    const auto start = Clock::now();
    get.Abort();
    ASSERT_TRUE(spinUntil([&] { return replies.total() > 0; }, 5000));
    EXPECT_LT(msSince(start), 500);
    spinFor(30);
    EXPECT_EQ(replies.errors, 1);
    EXPECT_EQ(replies.done, 0);
}

TEST_F(FetchTest, AbortWhileConnectingWaitsForTheConnectTimeOut)
{
    FullListener listener;
    THTTPGet get;
    Replies replies;
    replies.attach(get);
    get.URL = listener.url();
    get.GetString();
    spinFor(400);
    const auto start = Clock::now();
    get.Abort();
    ASSERT_TRUE(spinUntil([&] { return replies.total() > 0; }, 5000));
    EXPECT_LT(msSince(start), 500);
    EXPECT_EQ(replies.errors, 1);
}

TEST_F(FetchTest, AbortAfterTheBodyArrivedStillDeliversThePage)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) { connection.respond(200, "page"); });
    THTTPGet get;
    Replies replies;
    replies.attach(get);
    get.URL = server.url("/");
    get.GetString();
    ASSERT_TRUE(server.waitForRequests(1, 5000));
    QThread::msleep(100); // the reply is queued but not yet handed over
    get.Abort();
    ASSERT_TRUE(spinUntil([&] { return replies.total() > 0; }, 5000));
    EXPECT_EQ(replies.errors, 1);
    EXPECT_EQ(replies.done, 0);
}

TEST_F(FetchTest, AbortWhenIdleBreaksTheNextFetch)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) { connection.respond(200, "ok"); });
    THTTPGet get;
    get.Abort();
    get.URL = server.url("/");
    EXPECT_EQ(fetchAndWait(get).done, 1);
    get.Abort();
    EXPECT_EQ(fetchAndWait(get).done, 1);
}

// ---- one event per fetch ---------------------------------------------------------------------

TEST_F(FetchTest, SecondGetStringWhileRunningStartsAnotherFetch)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) {
        connection.sleepMs(100);
        connection.respond(200, "once");
    });
    THTTPGet get;
    Replies replies;
    replies.attach(get);
    get.URL = server.url("/");
    get.GetString();
    get.GetString();
    EXPECT_TRUE(get.isRunning());
    ASSERT_TRUE(spinUntil([&] { return replies.total() > 0; }, 5000));
    spinFor(300);
    EXPECT_EQ(replies.done, 1);
    EXPECT_EQ(replies.errors, 0);
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_FALSE(get.isRunning());
}

TEST_F(FetchTest, GetStringInsideOnDoneStringStartsAFetch)
{
    LocalHttpServer server(
        [](const HttpRequest& request, HttpConnection& connection) { connection.respond(200, request.target); });
    THTTPGet get;
    std::vector<QByteArray> bodies;
    get.OnDoneString = [&](THTTPGet* sender, const QByteArray& body) {
        bodies.push_back(body);
        EXPECT_TRUE(sender->isRunning());
        sender->URL = server.url("/second");
        sender->GetString();
    };
    get.URL = server.url("/first");
    get.GetString();
    ASSERT_TRUE(spinUntil([&] { return !bodies.empty(); }, 5000));
    spinFor(200);
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(server.requestCount(), 1);
    EXPECT_FALSE(get.isRunning());

    // After the handler returned, GetString starts the next fetch.
    get.GetString();
    ASSERT_TRUE(spinUntil([&] { return bodies.size() == 2; }, 5000));
    EXPECT_EQ(bodies[1], "/second");
}

TEST_F(FetchTest, ProgressComesOutOfOrderOrWithWrongCounts)
{
    const QByteArray body = pattern(50000, 12);
    LocalHttpServer server([&](const HttpRequest&, HttpConnection& connection) {
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n");
        for (int i = 0; i < 5; ++i) {
            connection.send(body.mid(i * 10000, 10000));
            connection.sleepMs(5);
        }
    });
    THTTPGet get;
    std::vector<std::pair<qint32, qint32>> progress;
    THTTPGetThread* progressSender = nullptr;
    get.OnProgress = [&](THTTPGetThread* sender, qint32 totalSize, qint32 readed) {
        progressSender = sender;
        progress.emplace_back(totalSize, readed);
    };
    get.URL = server.url("/");
    int progressCallsAtDone = -1;
    get.OnDoneString = [&](THTTPGet*, const QByteArray&) { progressCallsAtDone = int(progress.size()); };
    get.GetString();
    ASSERT_TRUE(spinUntil([&] { return progressCallsAtDone >= 0; }, 5000));
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progressCallsAtDone, int(progress.size()));
    EXPECT_NE(progressSender, nullptr);
    for (size_t i = 0; i < progress.size(); ++i) {
        EXPECT_EQ(progress[i].first, 50000);
        if (i > 0) {
            EXPECT_GT(progress[i].second, progress[i - 1].second);
        }
    }
    EXPECT_EQ(progress.back().second, 50000);
}

TEST_F(FetchTest, ThrowingProgressHandlerDeliversAPage)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) {
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabc");
        connection.sleepMs(50);
        connection.send("def");
    });
    THTTPGet get;
    get.OnProgress = [](THTTPGetThread*, qint32, qint32) { throw std::runtime_error("progress handler failed"); };
    get.URL = server.url("/");
    const Replies replies = fetchAndWait(get);
    EXPECT_EQ(replies.errors, 1);
    EXPECT_EQ(replies.done, 0);
}

// ---- the request on the wire -----------------------------------------------------------------

class RequestOnTheWire : public FetchTest
{
protected:
    HttpRequest fetchRequest(THTTPGet& get, const QByteArray& path = "/")
    {
        get.URL = server.url(path);
        const Replies replies = fetchAndWait(get);
        EXPECT_EQ(replies.done, 1);
        return server.lastRequest();
    }

    LocalHttpServer server { [](const HttpRequest&, HttpConnection& connection) { connection.respond(200, "ok"); } };
};

TEST_F(RequestOnTheWire, DefaultHeadersMissingOrCompressionAsked)
{
    THTTPGet get;
    get.Agent = QStringLiteral("Mozilla/4.0 (test agent)");
    const HttpRequest request = fetchRequest(get, "/s?wd=x");
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.version, "HTTP/1.1");
    EXPECT_EQ(request.target, "/s?wd=x");
    EXPECT_EQ(request.host, "127.0.0.1:" + QByteArray::number(server.port()));
    EXPECT_EQ(request.header("User-Agent"), "Mozilla/4.0 (test agent)");
    EXPECT_EQ(request.header("Accept"), "*/*");
    EXPECT_EQ(request.header("Cache-Control"), "no-cache");
    EXPECT_EQ(request.header("Pragma"), "no-cache");
    EXPECT_FALSE(request.hasHeader("Accept-Encoding"));
    EXPECT_FALSE(request.hasHeader("Referer"));
    EXPECT_FALSE(request.hasHeader("Authorization"));
}

TEST_F(RequestOnTheWire, UseCacheStillSendsNoCache)
{
    THTTPGet get;
    get.UseCache = true;
    const HttpRequest request = fetchRequest(get);
    EXPECT_FALSE(request.hasHeader("Cache-Control"));
    EXPECT_FALSE(request.hasHeader("Pragma"));
}

TEST_F(RequestOnTheWire, EmptyAgentStillSendsAUserAgent)
{
    THTTPGet get;
    EXPECT_FALSE(get.Agent.isEmpty());
    get.Agent.clear();
    EXPECT_FALSE(fetchRequest(get).hasHeader("User-Agent"));
}

TEST_F(RequestOnTheWire, AcceptTypesRefererAndCredentialsIgnored)
{
    THTTPGet get;
    get.AcceptTypes = QStringLiteral("text/html");
    get.Referer = QStringLiteral("http://ref.example/");
    get.UserName = QStringLiteral("user");
    get.Password = QStringLiteral("secret");
    const HttpRequest request = fetchRequest(get);
    EXPECT_EQ(request.header("Accept"), "text/html");
    EXPECT_EQ(request.header("Referer"), "http://ref.example/");
    EXPECT_EQ(request.header("Authorization"), "Basic " + QByteArray("user:secret").toBase64());
}

TEST_F(RequestOnTheWire, SpaceAndGbkBytesMangledInTheTarget)
{
    THTTPGet get;
    const HttpRequest request = fetchRequest(get, "/s?wd=site:a b\xB0\xD9&x=%41");
    EXPECT_EQ(request.target, "/s?wd=site:a%20b\xB0\xD9&x=%41");
}

TEST_F(RequestOnTheWire, PropertiesChangedMidFetchLeakIntoIt)
{
    std::atomic<bool> release { false };
    LocalHttpServer slow([&](const HttpRequest&, HttpConnection& connection) {
        while (!release && connection.sleepMs(5)) { }
        connection.respond(200, "ok");
    });
    THTTPGet get;
    Replies replies;
    replies.attach(get);
    get.URL = slow.url("/one");
    get.Agent = QStringLiteral("first");
    get.GetString();
    ASSERT_TRUE(slow.waitForRequests(1, 5000));
    get.URL = slow.url("/two");
    get.Agent = QStringLiteral("second");
    release = true;
    ASSERT_TRUE(spinUntil([&] { return replies.total() > 0; }, 5000));
    EXPECT_EQ(slow.requestCount(), 1);
    EXPECT_EQ(slow.lastRequest().target, "/one");
    EXPECT_EQ(slow.lastRequest().header("User-Agent"), "first");
}

// Sets a variable for one test and puts the old value back.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_old = QByteArray(old);
            m_hadValue = true;
        }
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv()
    {
        if (m_hadValue) {
            ::setenv(m_name, m_old.constData(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    QByteArray m_old;
    bool m_hadValue = false;
};

TEST_F(FetchTest, ProxyFromTheEnvironmentIgnored)
{
    LocalHttpServer proxy([](const HttpRequest&, HttpConnection& connection) { connection.respond(200, "via proxy"); });
    const ScopedEnv noProxy("no_proxy", nullptr);
    const ScopedEnv noProxyUpper("NO_PROXY", nullptr);
    const ScopedEnv httpProxy("http_proxy", proxy.url("").constData());
    THTTPGet get;
    get.URL = "http://www.baidu.com/s?wd=x";
    const Replies replies = fetchAndWait(get);
    EXPECT_TRUE(THTTPGetThread::waitForAll(5000)); // no worker reads the environment any more
    ASSERT_EQ(replies.done, 1);
    EXPECT_EQ(replies.body, "via proxy");
    ASSERT_EQ(proxy.requestCount(), 1);
    EXPECT_EQ(proxy.lastRequest().target, "http://www.baidu.com/s?wd=x");
    EXPECT_EQ(proxy.lastRequest().host, "www.baidu.com");
}

// ---- seven at once ---------------------------------------------------------------------------

TEST_F(FetchTest, SevenFetchesOfOneDomainRunOneAfterAnother)
{
    LocalHttpServer server([](const HttpRequest& request, HttpConnection& connection) {
        connection.sleepMs(300);
        connection.respond(200, request.target);
    });
    std::vector<std::unique_ptr<Tmyhttpget>> gets;
    std::vector<int> answeredEngines;
    for (int engine = 0; engine < 7; ++engine) {
        auto get = std::make_unique<Tmyhttpget>();
        get->Domain = QStringLiteral("example.com");
        get->EngineIndex = engine;
        get->URL = server.url(QByteArray("/engine" + QByteArray::number(engine)));
        get->OnDoneString = [&](THTTPGet* sender, const QByteArray& body) {
            const auto* mine = static_cast<Tmyhttpget*>(sender);
            EXPECT_EQ(body, "/engine" + QByteArray::number(mine->EngineIndex));
            EXPECT_EQ(mine->Domain, QStringLiteral("example.com"));
            answeredEngines.push_back(mine->EngineIndex);
        };
        gets.push_back(std::move(get));
    }
    const auto start = Clock::now();
    for (auto& get : gets) {
        get->GetString();
    }
    ASSERT_TRUE(spinUntil([&] { return answeredEngines.size() == 7; }, 10000));
    EXPECT_LT(msSince(start), 1500); // one after another would take 2100 ms
    std::sort(answeredEngines.begin(), answeredEngines.end());
    EXPECT_EQ(answeredEngines, (std::vector<int> { 0, 1, 2, 3, 4, 5, 6 }));
}

} // namespace
