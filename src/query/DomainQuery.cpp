#include "query/DomainQuery.h"

#include "engines/PageReader.h"
#include "fetch/CookieJar.h"
#include "fetch/HTTPGet.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"

#include <QPointer>
#include <QTimer>

#include <exception>

namespace shoulu {

namespace {

QDateTime nowToTheSecond()
{
    // Stored to the second; keep the in-memory time equal to what is stored.
    QDateTime now = QDateTime::currentDateTime();
    return now.addMSecs(-now.time().msec());
}

} // namespace

DomainQuery::DomainQuery(DomainList& domains, ResultRows& rows, EngineCatalogue catalogue, QObject* parent)
    : QObject(parent)
    , m_domains(domains)
    , m_rows(rows)
    , m_catalogue(std::move(catalogue))
    , m_asked(m_catalogue.enabledEngines())
    , m_fetchStarter([](Tmyhttpget& fetch) { fetch.GetString(); })
{ }

DomainQuery::~DomainQuery() = default;

void DomainQuery::setFetchStarter(FetchStarter starter)
{
    m_fetchStarter = std::move(starter);
}

DomainQuery::SingleStart DomainQuery::startSingle(const QString& typed, const QStringList& boxItems)
{
    SingleStart result;
    if (m_state.Busy) {
        return result;
    }
    if (m_asked.empty()) {
        Q_EMIT errorOccurred(QStringLiteral("所有搜索引擎都已停用，没有可以查询的引擎。"));
        return result;
    }
    // Asked as it is stored: "site:  lead.com  " would ask about another text than the row holds.
    const QString domain = trimControlAndBlank(typed);
    beginRun(repliesPerDomain());
    m_single = true;
    m_state.CurrentDomain = domain;
    Q_EMIT statusChanged(QStringLiteral("正在查询：") + domain);

    QStringList items = boxItems;
    if (!domain.isEmpty() && !items.contains(domain, Qt::CaseInsensitive)) {
        items.append(domain);
    }
    // A store failure must not strand the run: report it and still ask the engines.
    for (const QString& item : std::as_const(items)) {
        if (auto added = m_domains.addDomain(item); !added) {
            Q_EMIT errorOccurred(added.error());
            break;
        }
    }
    if (auto stored = m_domains.loadDomain()) {
        result.domainList = stored.value();
    } else {
        Q_EMIT errorOccurred(stored.error());
        result.domainList = items;
    }

    startDomain(domain);
    result.started = true;
    return result;
}

void DomainQuery::beginRun(int expectedReplies)
{
    m_state.QueryTime = nowToTheSecond();
    m_single = false;
    m_tally = {};
    m_state.ExpectedReplies = expectedReplies;
    m_state.TotalReplies = 0;
    m_state.DomainReplies = 0;
    m_state.Busy = true;
    Q_EMIT gaugeChanged(m_state.ExpectedReplies, 0);
}

void DomainQuery::startDomain(const QString& listed)
{
    // A stored name is asked trimmed, but otherwise as it is, even one the domain rule would
    // now refuse: old files keep working.
    const QString domain = trimControlAndBlank(listed);
    const quint64 ticket = m_nextTicket++;
    PendingDomain& pending = m_pending[ticket];
    pending.domain = domain;
    pending.readings = EngineReadings(m_catalogue.size(), offReading());
    m_currentTicket = ticket;
    m_state.CurrentDomain = domain;
    m_state.DomainReplies = 0;
    for (const int i : m_asked) {
        startFetch(m_catalogue.engine(i).queryUrl(domain), i, ticket);
    }
}

void DomainQuery::startFetch(const QByteArray& url, int engineIndex, quint64 ticket)
{
    auto* fetch = new Tmyhttpget(this);
    fetch->UseCache = false;
    fetch->Agent = m_catalogue.userAgent();
    fetch->AcceptLanguage = QString::fromLatin1(AcceptLanguage);
    fetch->Cookies = cookiesFor(engineIndex);
    fetch->URL = url;
    fetch->EngineIndex = engineIndex;
    fetch->OnDoneString = [this, ticket](THTTPGet* sender, const QByteArray& page) {
        getstr(static_cast<Tmyhttpget*>(sender), ticket, page);
    };
    fetch->OnError = [this, ticket](THTTPGet* sender) { geterror(static_cast<Tmyhttpget*>(sender), ticket); };
    try {
        m_fetchStarter(*fetch);
    } catch (const std::exception&) {
        // A fetch that cannot start is a failed reply; tallied after the caller's step is done,
        // as a real reply would be.
        QPointer<Tmyhttpget> guard(fetch);
        QTimer::singleShot(0, this, [this, guard, ticket] {
            if (guard) {
                geterror(guard.data(), ticket);
            }
        });
    }
}

std::shared_ptr<CookieJar> DomainQuery::cookiesFor(int engineIndex)
{
    std::shared_ptr<CookieJar>& jar = m_cookies[engineIndex];
    if (!jar) {
        jar = std::make_shared<CookieJar>();
    }
    return jar;
}

void DomainQuery::getstr(Tmyhttpget* sender, quint64 ticket, const QByteArray& page)
{
    FetchedPage reply;
    reply.arrived = true;
    reply.body = page;
    reply.httpStatus = sender->reply().httpStatus;
    reply.finalUrl = sender->reply().finalUrl;
    reply.contentType = sender->reply().contentType;
    record(sender, ticket, reply);
}

void DomainQuery::geterror(Tmyhttpget* sender, quint64 ticket)
{
    FetchedPage reply;
    reply.httpStatus = sender->reply().httpStatus;
    reply.finalUrl = sender->reply().finalUrl;
    reply.error = sender->reply().error;
    record(sender, ticket, reply);
}

void DomainQuery::record(Tmyhttpget* sender, quint64 ticket, const FetchedPage& reply)
{
    const int engine = sender->EngineIndex;
    if (engine >= 0 && engine < m_catalogue.size()) {
        const CatalogueEngine& info = m_catalogue.engine(engine);
        Reading reading = readReply(info, reply);
        reading.fetchedAt = QDateTime::currentDateTime();
        if (info.column >= 0 && info.column < EngineCount) {
            m_state.EngineCounts[static_cast<size_t>(info.column)] = reading.count;
        }
        if (auto it = m_pending.find(ticket); it != m_pending.end()) {
            if (info.column >= 0 && info.column < EngineCount) {
                it->second.counts[static_cast<size_t>(info.column)] = reading.count;
            }
            it->second.readings[engine] = reading;
        }
    }
    sender->deleteLater();
    exitth(ticket);
}

QList<EngineReading> DomainQuery::storedReadings(const EngineReadings& readings) const
{
    QList<EngineReading> stored;
    for (const int asked : m_asked) {
        stored.append(EngineReading { m_catalogue.engine(asked).key, readings.at(asked) });
    }
    return stored;
}

QString DomainQuery::finishedText(const QString& domain, const EngineReadings& readings) const
{
    QStringList missing;
    bool anyFigure = false;
    for (const int asked : m_asked) {
        const Reading& reading = readings.at(asked);
        if (isTrustworthy(reading.status)) {
            anyFigure = true;
        } else {
            missing.append(m_catalogue.engine(asked).caption + QLatin1Char(' ') + statusCaption(reading.status));
        }
    }
    QString text = QStringLiteral("查询完毕：") + domain;
    if (!anyFigure) {
        // Stored all the same; the user must not take the zeros for figures.
        return text + QStringLiteral("（没有一个引擎给出收录数：%1）").arg(missing.join(QStringLiteral("，")));
    }
    if (!missing.isEmpty()) {
        text += QStringLiteral("（%1）").arg(missing.join(QStringLiteral("，")));
    }
    return text;
}

QString DomainQuery::summaryText() const
{
    QStringList parts;
    for (const auto& [status, count] : m_tally.readings) {
        parts.append(QStringLiteral("%1 %2").arg(statusCaption(status)).arg(count));
    }
    return QStringLiteral("批量查询完毕：%1 个域名（%2）").arg(m_tally.domains).arg(parts.join(QStringLiteral("，")));
}

void DomainQuery::exitth(quint64 ticket)
{
    auto it = m_pending.find(ticket);
    if (it != m_pending.end()) {
        PendingDomain& pending = it->second;
        ++pending.replies;
        if (ticket == m_currentTicket) {
            m_state.DomainReplies = pending.replies;
        }
        if (pending.replies >= repliesPerDomain()) {
            const PendingDomain done = std::move(pending);
            m_pending.erase(it);
            if (ticket == m_currentTicket) {
                m_state.DomainReplies = 0;
            }
            ++m_tally.domains;
            for (const int asked : m_asked) {
                ++m_tally.readings[done.readings.at(asked).status];
            }
            const QList<EngineReading> readings = storedReadings(done.readings);
            if (auto stored = m_rows.addshoulu(done.domain, m_state.QueryTime, done.counts, readings); stored) {
                Q_EMIT rowCommitted(done.domain, m_state.QueryTime, done.counts, readings);
            } else {
                Q_EMIT errorOccurred(stored.error());
            }
            Q_EMIT statusChanged(finishedText(done.domain, done.readings));
            Q_EMIT historyRefreshRequested();
        }
    }

    ++m_state.TotalReplies;
    Q_EMIT gaugeChanged(m_state.ExpectedReplies, m_state.TotalReplies);
    if (m_state.Busy && m_state.TotalReplies >= m_state.ExpectedReplies) {
        m_state.Busy = false;
        if (!m_single) {
            Q_EMIT statusChanged(summaryText());
        }
        Q_EMIT runFinished();
        Q_EMIT historyRefreshRequested();
    }
}

} // namespace shoulu
