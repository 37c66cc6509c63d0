#include "support/LocalHttpServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace shoulu;
using Clock = std::chrono::steady_clock;

namespace {

struct ClientReply
{
    QByteArray bytes;
    int error = 0; // errno of the read that ended the reply, 0 on orderly close
};

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends the request bytes and reads until the server closes (or 10 s pass).
ClientReply exchange(quint16 port, const QByteArray& request)
{
    ClientReply reply;
    const int fd = connectTo(port);
    if (fd < 0) {
        reply.error = errno;
        return reply;
    }
    ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        pollfd pfd { fd, POLLIN, 0 };
        if (::poll(&pfd, 1, 100) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0) {
            reply.error = errno;
            break;
        }
        if (n == 0) {
            break;
        }
        reply.bytes.append(buffer, n);
    }
    ::close(fd);
    return reply;
}

qint64 msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace

TEST(LocalHttpServer, RespondOrRecordedHeadGarbled)
{
    LocalHttpServer server([](const HttpRequest& request, HttpConnection& connection) {
        connection.respond(404, QByteArray("no " + request.target), { { "Content-Type", "text/plain" } });
    });
    const ClientReply reply
        = exchange(server.port(), "GET /a?b=c HTTP/1.1\r\nHost: example.test:81\r\nX-One: 1\r\n\r\n");

    EXPECT_TRUE(reply.bytes.startsWith("HTTP/1.1 404 "));
    EXPECT_TRUE(reply.bytes.contains("\r\nContent-Length: 9\r\n"));
    EXPECT_TRUE(reply.bytes.contains("\r\nContent-Type: text/plain\r\n"));
    EXPECT_TRUE(reply.bytes.endsWith("\r\n\r\nno /a?b=c"));
    ASSERT_EQ(server.requestCount(), 1);
    const HttpRequest request = server.lastRequest();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/a?b=c");
    EXPECT_EQ(request.host, "example.test:81");
    EXPECT_EQ(request.header("x-one"), "1");
    EXPECT_FALSE(request.hasHeader("X-Two"));
    EXPECT_TRUE(request.head.endsWith("X-One: 1\r\n\r\n"));
}

TEST(LocalHttpServer, ProxyRequestHostTakenFromHostHeader)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) { connection.respond(200, "x"); });
    exchange(server.port(), "GET http://user@www.example.cn:8080/s?wd=x HTTP/1.1\r\nHost: other\r\n\r\n");
    EXPECT_EQ(server.lastRequest().target, "http://user@www.example.cn:8080/s?wd=x");
    EXPECT_EQ(server.lastRequest().host, "www.example.cn:8080");
}

TEST(LocalHttpServer, SlowHandlersServeConnectionsInParallelNotOneByOne)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) {
        connection.sleepMs(300);
        connection.respond(200, "late");
    });
    const auto start = Clock::now();
    std::vector<std::future<ClientReply>> replies;
    for (int i = 0; i < 6; ++i) {
        replies.push_back(
            std::async(std::launch::async, [&] { return exchange(server.port(), "GET / HTTP/1.1\r\n\r\n"); }));
    }
    for (auto& reply : replies) {
        EXPECT_TRUE(reply.get().bytes.endsWith("late"));
    }
    EXPECT_LT(msSince(start), 1200);
}

TEST(LocalHttpServer, DestructionWaitsForASleepingHandler)
{
    std::atomic<bool> sleepCutShort { false };
    auto server = std::make_unique<LocalHttpServer>(
        [&](const HttpRequest&, HttpConnection& connection) { sleepCutShort = !connection.sleepMs(60000); });
    std::future<ClientReply> reply
        = std::async(std::launch::async, [port = server->port()] { return exchange(port, "GET / HTTP/1.1\r\n\r\n"); });
    ASSERT_TRUE(server->waitForRequests(1, 5000));
    const auto start = Clock::now();
    server.reset();
    EXPECT_LT(msSince(start), 1000);
    EXPECT_TRUE(sleepCutShort);
    reply.get();
}

TEST(LocalHttpServer, DestructionHangsOnASendToAClientThatStoppedReading)
{
    std::atomic<bool> sendFailed { false };
    auto server = std::make_unique<LocalHttpServer>([&](const HttpRequest&, HttpConnection& connection) {
        sendFailed = !connection.send(QByteArray(16 * 1024 * 1024, 'x'));
    });
    const int fd = connectTo(server->port());
    ASSERT_GE(fd, 0);
    ::send(fd, "GET / HTTP/1.1\r\n\r\n", 18, MSG_NOSIGNAL);
    ASSERT_TRUE(server->waitForRequests(1, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the send fills the socket and blocks
    const auto start = Clock::now();
    server.reset();
    EXPECT_LT(msSince(start), 1000);
    EXPECT_TRUE(sendFailed);
    ::close(fd);
}

TEST(LocalHttpServer, ResetLooksLikeAnOrderlyClose)
{
    LocalHttpServer server([](const HttpRequest&, HttpConnection& connection) {
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
        connection.sleepMs(100);
        connection.reset();
        EXPECT_FALSE(connection.send("more"));
    });
    const ClientReply reply = exchange(server.port(), "GET / HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(reply.bytes.endsWith("part"));
    EXPECT_EQ(reply.error, ECONNRESET);
}

TEST(LocalHttpServer, IncompleteHeadReachesTheHandler)
{
    std::atomic<int> handled { 0 };
    LocalHttpServer server([&](const HttpRequest&, HttpConnection&) { ++handled; });
    const int fd = connectTo(server.port());
    ::send(fd, "GET / HTTP/1.1\r\nHost: x\r\n", 25, MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    char byte;
    EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);
    ::close(fd);
    EXPECT_EQ(server.requestCount(), 0);
    EXPECT_EQ(handled, 0);
}
