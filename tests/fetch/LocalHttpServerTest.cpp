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

// Responses, header parsing and parallel service are exercised by every fetcher test.
TEST(LocalHttpServer, DestructionWaitsForASleepingHandlerOrASendNobodyReads)
{
    std::atomic<bool> sleepCutShort { false };
    std::atomic<bool> sendFailed { false };
    auto server = std::make_unique<LocalHttpServer>([&](const HttpRequest& request, HttpConnection& connection) {
        if (request.target == "/sleep") {
            sleepCutShort = !connection.sleepMs(60000);
        } else {
            sendFailed = !connection.send(QByteArray(16 * 1024 * 1024, 'x'));
        }
    });
    std::future<ClientReply> sleeper = std::async(
        std::launch::async, [port = server->port()] { return exchange(port, "GET /sleep HTTP/1.1\r\n\r\n"); });
    const int silent = connectTo(server->port());
    ::send(silent, "GET /send HTTP/1.1\r\n\r\n", 23, MSG_NOSIGNAL);
    ASSERT_TRUE(server->waitForRequests(2, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the send fills the socket and blocks
    const auto start = Clock::now();
    server.reset();
    EXPECT_LT(msSince(start), 1000);
    EXPECT_TRUE(sleepCutShort);
    EXPECT_TRUE(sendFailed);
    sleeper.get();
    ::close(silent);
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
