#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringBuilder>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace shoulu {

using HttpHeaders = QList<std::pair<QByteArray, QByteArray>>;

// One request head as it arrived; the server never reads a request body.
struct HttpRequest
{
    QByteArray method;
    QByteArray target; // raw request-target: "/path?q" or, through a proxy, "http://host/path?q"
    QByteArray version; // "HTTP/1.1"
    QByteArray host; // authority of an absolute target, else the Host header ("name[:port]")
    HttpHeaders headers; // in arrival order, names as sent
    QByteArray head; // every byte of the head, final empty line included

    // First header of that name (letter case ignored); empty when absent.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
};

class LocalHttpServer;

// The handler's end of one accepted connection. Every call returns promptly once the server
// stops, so a handler that only uses these never holds up the server's destruction.
class HttpConnection
{
public:
    // Writes raw bytes; false when the peer is gone, the connection closed or the server stopping.
    bool send(QByteArrayView bytes);
    // Lets `send(head + body)` build once instead of failing to convert.
    template <typename A, typename B> bool send(const QStringBuilder<A, B>& bytes)
    {
        return send(QByteArrayView(QByteArray(bytes)));
    }
    // Waits; false (early) when the server is stopping.
    bool sleepMs(int ms);
    // Orderly close (FIN). Later sends fail.
    void close();
    // Abortive close: the peer sees a connection reset (RST).
    void reset();
    // A whole response with Content-Length and "Connection: close"; the extra headers follow
    // (give "Content-Type" there). Reason phrase is generic.
    bool respond(int status, QByteArrayView body, const HttpHeaders& extraHeaders = {});
    bool isOpen() const { return m_fd >= 0; }

    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

private:
    friend class LocalHttpServer;
    HttpConnection(LocalHttpServer* server, int fd)
        : m_server(server)
        , m_fd(fd)
    { }
    ~HttpConnection();

    LocalHttpServer* m_server;
    int m_fd;
};

// A real HTTP/1.1 server on 127.0.0.1 for tests, one thread per connection, one request per
// connection (the connection closes when the handler returns):
//     LocalHttpServer server([](const HttpRequest&, HttpConnection& c) { c.respond(200, "hi"); });
//     fetch(server.url("/page")); EXPECT_EQ(server.requestCount(), 1);
class LocalHttpServer
{
public:
    using Handler = std::function<void(const HttpRequest&, HttpConnection&)>;

    // Listens at once; port 0 picks a free one. Throws std::runtime_error when it cannot listen.
    explicit LocalHttpServer(Handler handler, quint16 port = 0);
    // Stops: wakes sleeping handlers, unblocks sends, joins every thread.
    ~LocalHttpServer();

    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by the path.
    QByteArray url(QByteArrayView path = "/") const;

    int requestCount() const;
    std::vector<HttpRequest> requests() const;
    HttpRequest lastRequest() const; // empty request when none came
    // Blocks until at least count requests arrived; false on time-out.
    bool waitForRequests(int count, int timeoutMs) const;
    // Connections accepted whose handler has not yet returned.
    int openConnections() const;

    void stop();

private:
    friend class HttpConnection;
    struct Worker
    {
        std::thread thread;
        bool finished = false;
    };

    void acceptLoop();
    void serve(int fd);
    void closeFd(int& fd, bool abortive);
    void reapFinished();
    bool stopping() const { return m_stopping.load(); }

    Handler m_handler;
    int m_listenFd = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping { false };

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<HttpRequest> m_requests;
    std::vector<int> m_openFds;
    std::list<Worker> m_workers;
    int m_busy = 0;
    std::thread m_acceptThread;
};

} // namespace shoulu
