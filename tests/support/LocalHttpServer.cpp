#include "LocalHttpServer.h"

#include <QDebug>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace shoulu {

namespace {

constexpr int kMaxHeadBytes = 64 * 1024;
// A client that connects and says nothing must not keep a thread forever.
constexpr int kHeadTimeoutMs = 10000;

bool equalsIgnoringCase(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// Splits the head into its request line and header fields; false when the request line is not
// "method target version".
bool parseHead(const QByteArray& head, HttpRequest& request)
{
    request.head = head;
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    if (lines.isEmpty()) {
        return false;
    }
    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3) {
        return false;
    }
    request.method = parts[0];
    request.target = parts[1];
    request.version = parts[2];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) {
            continue;
        }
        request.headers.append({ line.left(colon), line.mid(colon + 1).trimmed() });
    }
    if (request.target.size() > 7 && equalsIgnoringCase(QByteArrayView(request.target).first(7), "http://")) {
        QByteArray authority = request.target.mid(7);
        authority.truncate(authority.indexOf('/') >= 0 ? authority.indexOf('/') : authority.size());
        request.host = authority.mid(authority.lastIndexOf('@') + 1);
    } else {
        request.host = request.header("Host");
    }
    return true;
}

} // namespace

QByteArray HttpRequest::header(QByteArrayView name) const
{
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringCase(key, name)) {
            return value;
        }
    }
    return {};
}

bool HttpRequest::hasHeader(QByteArrayView name) const
{
    for (const auto& header : headers) {
        if (equalsIgnoringCase(header.first, name)) {
            return true;
        }
    }
    return false;
}

HttpConnection::~HttpConnection()
{
    if (m_fd >= 0) {
        m_server->closeFd(m_fd, false);
    }
}

bool HttpConnection::send(QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (m_fd < 0 || m_server->stopping()) {
            return false;
        }
        const ssize_t n = ::send(m_fd, bytes.data() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

bool HttpConnection::sleepMs(int ms)
{
    std::unique_lock lock(m_server->m_mutex);
    return !m_server->m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_server->stopping(); });
}

void HttpConnection::close()
{
    if (m_fd >= 0) {
        m_server->closeFd(m_fd, false);
    }
}

void HttpConnection::reset()
{
    if (m_fd >= 0) {
        m_server->closeFd(m_fd, true);
    }
}

bool HttpConnection::respond(int status, QByteArrayView body, const HttpHeaders& extraHeaders)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n";
    for (const auto& [name, value] : extraHeaders) {
        head += name + ": " + value + "\r\n";
    }
    head += "\r\n";
    return send(head) && send(body);
}

LocalHttpServer::LocalHttpServer(Handler handler, quint16 port)
    : m_handler(std::move(handler))
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("LocalHttpServer: pipe failed");
    }
    m_wakeRead = pipeFds[0];
    m_wakeWrite = pipeFds[1];

    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(m_listenFd, 128) != 0
        || ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        if (m_listenFd >= 0) {
            ::close(m_listenFd);
        }
        ::close(m_wakeRead);
        ::close(m_wakeWrite);
        throw std::runtime_error(std::string("LocalHttpServer: cannot listen: ") + std::strerror(error));
    }
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

LocalHttpServer::~LocalHttpServer()
{
    stop();
    ::close(m_listenFd);
    ::close(m_wakeRead);
    ::close(m_wakeWrite);
}

QByteArray LocalHttpServer::url(QByteArrayView path) const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port) + path.toByteArray();
}

int LocalHttpServer::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_requests.size());
}

std::vector<HttpRequest> LocalHttpServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

HttpRequest LocalHttpServer::lastRequest() const
{
    std::lock_guard lock(m_mutex);
    return m_requests.empty() ? HttpRequest {} : m_requests.back();
}

bool LocalHttpServer::waitForRequests(int count, int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [&] { return int(m_requests.size()) >= count; });
}

int LocalHttpServer::openConnections() const
{
    std::lock_guard lock(m_mutex);
    return m_busy;
}

void LocalHttpServer::stop()
{
    if (m_stopping.exchange(true)) {
        return;
    }
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeWrite, &byte, 1);
    {
        std::lock_guard lock(m_mutex);
        // Unblocks a handler stuck in send() to a client that no longer reads.
        for (const int fd : m_openFds) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    m_changed.notify_all();
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    std::list<Worker> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (Worker& worker : workers) {
        worker.thread.join();
    }
}

void LocalHttpServer::acceptLoop()
{
    while (true) {
        pollfd fds[2] = { { m_listenFd, POLLIN, 0 }, { m_wakeRead, POLLIN, 0 } };
        const int ready = ::poll(fds, 2, 1000);
        reapFinished();
        if (stopping() || (ready > 0 && (fds[1].revents & POLLIN))) {
            return;
        }
        if (ready <= 0 || !(fds[0].revents & POLLIN)) {
            continue;
        }
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        // A reply sent as head and body would otherwise wait for the client's delayed ACK
        // (40 ms) before its body goes out.
        const int noDelay = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        std::lock_guard lock(m_mutex);
        if (stopping()) {
            ::close(fd);
            return;
        }
        m_openFds.push_back(fd);
        ++m_busy;
        auto worker = m_workers.insert(m_workers.end(), Worker {});
        try {
            worker->thread = std::thread([this, fd, worker] {
                serve(fd);
                std::lock_guard done(m_mutex);
                worker->finished = true;
                --m_busy;
            });
        } catch (const std::system_error&) {
            m_workers.erase(worker);
            --m_busy;
            std::erase(m_openFds, fd);
            ::close(fd);
        }
    }
}

void LocalHttpServer::reapFinished()
{
    std::list<Worker> finished;
    {
        std::lock_guard lock(m_mutex);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            auto next = std::next(it);
            if (it->finished) {
                finished.splice(finished.end(), m_workers, it);
            }
            it = next;
        }
    }
    for (Worker& worker : finished) {
        worker.thread.join();
    }
}

void LocalHttpServer::serve(int fd)
{
    HttpConnection connection(this, fd);
    QByteArray head;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHeadTimeoutMs);
    while (!head.contains("\r\n\r\n") && !head.contains("\n\n")) {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || head.size() > kMaxHeadBytes || stopping()) {
            return;
        }
        pollfd fds[2] = { { fd, POLLIN, 0 }, { m_wakeRead, POLLIN, 0 } };
        if (::poll(fds, 2, int(left.count())) <= 0 || (fds[1].revents & POLLIN)) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        head.append(buffer, n);
    }
    const qsizetype crlf = head.indexOf("\r\n\r\n");
    head.truncate(crlf >= 0 ? crlf + 4 : head.indexOf("\n\n") + 2);

    HttpRequest request;
    if (!parseHead(head, request)) {
        connection.respond(400, "bad request line");
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    }
    m_changed.notify_all();
    try {
        m_handler(request, connection);
    } catch (const std::exception& e) {
        qWarning() << "LocalHttpServer: handler threw:" << e.what();
    }
}

void LocalHttpServer::closeFd(int& fd, bool abortive)
{
    // Under the lock so that stop() never shuts down a number the kernel has already reused.
    std::lock_guard lock(m_mutex);
    if (abortive) {
        const linger hard { 1, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    std::erase(m_openFds, fd);
    ::close(fd);
    fd = -1;
}

} // namespace shoulu
