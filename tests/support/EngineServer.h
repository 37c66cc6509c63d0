#pragma once

#include "support/LocalHttpServer.h"
#include "support/RateLimiter.h"
#include "util/EngineCounts.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <mutex>
#include <optional>

namespace shoulu::test {

// Plays the seven engines for end-to-end runs: a local server that fetches reach as their HTTP
// proxy (hand proxyUrl() to them, or to the environment through a ProxyVariable) and that routes
// each request by the engine name in its host. Each engine answers with a result page carrying a figure chosen by
// the test, per domain or for every domain, as GBK or UTF-8, optionally late or not at all.
class EngineServer
{
public:
    enum class Encoding { Gbk, Utf8 };
    enum class Failure { None, EmptyBody, Reset, Refused };

    struct Answer
    {
        Count figure = 0;
        int delayMs = 0;
        Failure failure = Failure::None;
        qint64 padBytes = 0; // a comment this long after the result, its letters the domain's own
    };

    explicit EngineServer(Encoding encoding = Encoding::Utf8);
    ~EngineServer();

    // What `engine` answers for `domain` (as the engine sees it: the query text decoded from GBK).
    void setAnswer(int engine, const QString& domain, Answer answer);
    // What `engine` answers for every domain without an answer of its own.
    void setDefault(int engine, Answer answer);
    void setEncoding(Encoding encoding);
    // What `engine` answers for every domain instead of a result page: a verification page, say.
    void setPage(int engine, int status, const QByteArray& page);
    // Every engine limits the rate of its one client, this process, and blocks as the real ones
    // do: a redirect to its verification page, or HTTP 403 or 429.
    void setRateLimit(RateLimiter::Limit limit);
    // Requests an engine answered with a block.
    int blockedCount(int engine) const;

    // The page an engine prints for a figure, with thousands separators as the engines write them.
    static QByteArray resultPage(int engine, Count figure, Encoding encoding);

    LocalHttpServer& http() { return m_server; }
    QByteArray proxyUrl() const { return m_server.url(""); }
    // Requests seen for an engine and domain.
    int requestsFor(int engine, const QString& domain) const;

private:
    void handle(const HttpRequest& request, HttpConnection& connection);
    Answer answerFor(int engine, const QString& domain) const;
    // Answers a request the rate limit refuses, or the verification page it redirects to;
    // false for any other request.
    bool answeredAsBlocked(int engine, const HttpRequest& request, HttpConnection& connection);

    mutable std::mutex m_mutex;
    Encoding m_encoding;
    std::map<std::pair<int, QString>, Answer> m_answers;
    std::map<int, Answer> m_defaults;
    std::map<int, std::pair<int, QByteArray>> m_pages;
    std::map<std::pair<int, QString>, int> m_seen;
    std::optional<RateLimiter::Limit> m_rateLimit;
    std::map<int, RateLimiter> m_limiters;
    std::map<int, int> m_blocked;
    LocalHttpServer m_server;
};

// The engine a proxied request is for (-1 when the host names none) and the domain it asks
// about, decoded from the GBK bytes of the query value.
int engineOfHost(const QByteArray& host);
QString domainOfTarget(int engine, const QByteArray& target);

} // namespace shoulu::test
