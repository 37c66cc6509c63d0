#include "support/EngineServer.h"

#include "engines/EngineTable.h"
#include "engines/GbkCodec.h"

#include <QByteArrayList>
#include <QDeadlineTimer>

#include <optional>

namespace shoulu::test {

namespace {

// The stretch of each engine's page around the figure; "%1" is the figure.
constexpr const char* PageTemplates[EngineCount] = {
    "<td align=\"right\" nowrap>百度一下，找到相关网页约%1篇，用时0.21秒</td>",
    "<div id=resultStats></b> 获得约 <b>%1</b> 条结果<nobr>（用时 0.30 秒）</nobr></div>",
    "<div class=\"result\">搜索到约%1项结果，用时0.05秒</div>",
    "<div><em>被收录的网页： 共 <strong>%1</strong> 条  当前第1页</em></div>",
    "<div class=\"num\"> 找到 %1 <!--resultbarnum:%1-->条结果</div>",
    "<p><span class=\"fr\">共%1条结果</span></p>",
    "<span class=\"sb_count\">1-10 条，共 %1 条结果</span>",
};

// Where each engine sends a client it blocks (as its catalogue's blockedUrl rules know it); an
// engine with none refuses with the status instead.
struct BlockAnswer
{
    const char* verifyUrl;
    int status;
};
constexpr const char* RefusalPage = "<html><body>访问过于频繁</body></html>";
constexpr BlockAnswer BlockAnswers[EngineCount] = {
    { "http://wappass.baidu.com/static/captcha/tuxing.html?ak=local", 302 },
    { "http://www.google.com/sorry/index?continue=local", 302 },
    { nullptr, 403 },
    { nullptr, 429 },
    { "http://www.sogou.com/antispider/?from=local", 302 },
    { nullptr, 403 },
    { "http://www.bing.com/challenge/verify?local", 302 },
};

QString withThousands(Count figure)
{
    QString digits = QString::number(figure < 0 ? -figure : figure);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3) {
        digits.insert(i, QLatin1Char(','));
    }
    return figure < 0 ? QStringLiteral("-") + digits : digits;
}

} // namespace

int engineOfHost(const QByteArray& host)
{
    for (int i = 0; i < EngineCount; ++i) {
        if (host.contains(engineInfo(i).name)) {
            return i;
        }
    }
    return -1;
}

QString domainOfTarget(int engine, const QByteArray& target)
{
    // The query parameter as the engine's URL prefix writes it: "wd=site%3A".
    const QByteArray prefix = buildEngineUrls().at(engine).toLatin1();
    const QByteArray marker = prefix.mid(prefix.indexOf('?') + 1);
    const qsizetype at = target.indexOf('?');
    if (at < 0) {
        return {};
    }
    const qsizetype value = target.indexOf(marker, at);
    if (value < 0) {
        return {};
    }
    // The value ends where the next parameter would start; only then is it decoded.
    const qsizetype start = value + marker.size();
    const qsizetype end = target.indexOf('&', start);
    return fromGbk(QByteArray::fromPercentEncoding(target.mid(start, end < 0 ? -1 : end - start)));
}

EngineServer::EngineServer(Encoding encoding)
    : m_encoding(encoding)
    , m_server([this](const HttpRequest& request, HttpConnection& connection) { handle(request, connection); })
{ }

EngineServer::~EngineServer()
{
    m_server.stop();
}

void EngineServer::setAnswer(int engine, const QString& domain, Answer answer)
{
    std::lock_guard lock(m_mutex);
    m_answers[{ engine, domain }] = answer;
}

void EngineServer::setDefault(int engine, Answer answer)
{
    std::lock_guard lock(m_mutex);
    m_defaults[engine] = answer;
}

void EngineServer::setPage(int engine, int status, const QByteArray& page)
{
    std::lock_guard lock(m_mutex);
    m_pages[engine] = { status, page };
}

void EngineServer::setEncoding(Encoding encoding)
{
    std::lock_guard lock(m_mutex);
    m_encoding = encoding;
}

void EngineServer::setRateLimit(RateLimiter::Limit limit)
{
    std::lock_guard lock(m_mutex);
    m_rateLimit = limit;
    m_limiters.clear();
}

int EngineServer::blockedCount(int engine) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_blocked.find(engine);
    return it == m_blocked.end() ? 0 : it->second;
}

bool EngineServer::answeredAsBlocked(int engine, const HttpRequest& request, HttpConnection& connection)
{
    const BlockAnswer& block = BlockAnswers[engine];
    if (block.verifyUrl != nullptr && request.target.startsWith(block.verifyUrl)) {
        connection.respond(
            200, "<html><body>请输入验证码</body></html>", { { "Content-Type", "text/html; charset=utf-8" } });
        return true;
    }
    {
        std::lock_guard lock(m_mutex);
        if (!m_rateLimit) {
            return false;
        }
        auto limiter = m_limiters.try_emplace(engine, *m_rateLimit).first;
        if (limiter->second.admit(QDeadlineTimer::current().deadline())) {
            return false;
        }
        ++m_blocked[engine];
    }
    if (block.verifyUrl != nullptr) {
        connection.respond(block.status, "", { { "Location", block.verifyUrl } });
    } else {
        connection.respond(block.status, RefusalPage);
    }
    return true;
}

int EngineServer::requestsFor(int engine, const QString& domain) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_seen.find({ engine, domain });
    return it == m_seen.end() ? 0 : it->second;
}

QByteArray EngineServer::resultPage(int engine, Count figure, Encoding encoding)
{
    const QString text = QStringLiteral("<html><head><title>site search</title></head><body>\n")
        + QString::fromUtf8(PageTemplates[engine]).arg(withThousands(figure))
        + QStringLiteral("\n<p>第二个数字不算：共 999 条结果</p></body></html>\n");
    return encoding == Encoding::Gbk ? toGbk(text) : text.toUtf8();
}

EngineServer::Answer EngineServer::answerFor(int engine, const QString& domain) const
{
    if (const auto it = m_answers.find({ engine, domain }); it != m_answers.end()) {
        return it->second;
    }
    if (const auto it = m_defaults.find(engine); it != m_defaults.end()) {
        return it->second;
    }
    return {};
}

void EngineServer::handle(const HttpRequest& request, HttpConnection& connection)
{
    const int engine = engineOfHost(request.host);
    if (engine < 0) {
        connection.respond(404, "no such engine");
        return;
    }
    if (answeredAsBlocked(engine, request, connection)) {
        return;
    }
    const QString domain = domainOfTarget(engine, request.target);
    Answer answer;
    Encoding encoding;
    std::optional<std::pair<int, QByteArray>> page;
    {
        std::lock_guard lock(m_mutex);
        ++m_seen[{ engine, domain }];
        answer = answerFor(engine, domain);
        encoding = m_encoding;
        if (const auto it = m_pages.find(engine); it != m_pages.end()) {
            page = it->second;
        }
    }
    if (answer.delayMs > 0 && !connection.sleepMs(answer.delayMs)) {
        return;
    }
    switch (answer.failure) {
    case Failure::EmptyBody:
        connection.respond(200, "");
        return;
    case Failure::Reset:
        connection.reset();
        return;
    case Failure::Refused:
        connection.respond(429, RefusalPage);
        return;
    case Failure::None:
        break;
    }
    const QByteArray charset = encoding == Encoding::Gbk ? "gbk" : "utf-8";
    if (page) {
        connection.respond(page->first, page->second, { { "Content-Type", "text/html; charset=utf-8" } });
        return;
    }
    QByteArray body = resultPage(engine, answer.figure, encoding);
    if (answer.padBytes > 0) {
        // Letters that differ by domain and engine: each page is its own content, to be
        // compressed and stored, not one kept once.
        QByteArray pad(answer.padBytes, Qt::Uninitialized);
        quint32 state = quint32(qHash(domain)) ^ quint32(engine * 2654435761u);
        for (char& c : pad) {
            state = state * 1664525u + 1013904223u;
            c = char('a' + (state >> 24) % 26);
        }
        body += "<!--" + pad + "-->";
    }
    connection.respond(200, body, { { "Content-Type", "text/html; charset=" + charset } });
}

} // namespace shoulu::test
