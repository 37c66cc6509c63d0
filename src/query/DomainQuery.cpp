#include "query/DomainQuery.h"

#include "engines/PageReader.h"
#include "fetch/CookieJar.h"
#include "fetch/HTTPGet.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/StoreWriter.h"
#include "util/PageSink.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <utility>

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
    , m_catalogue(std::move(catalogue))
    , m_asked(m_catalogue.enabledEngines())
    , m_fetchStarter([](Tmyhttpget& fetch) { fetch.GetString(); })
{
    openStore(rows.filePath());
}

void DomainQuery::openStore(const QString& path)
{
    auto writer = StoreWriter::open(path);
    if (!writer) {
        m_storeError = writer.error();
        return;
    }
    m_writer = std::move(writer.value());
    connect(m_writer.get(), &StoreWriter::committed, this, &DomainQuery::rowStored);
    connect(m_writer.get(), &StoreWriter::waiting, this, &DomainQuery::rowWaiting);
    connect(m_writer.get(), &StoreWriter::failed, this, &DomainQuery::rowNotStored);
}

QString DomainQuery::cannotStoreText() const
{
    return worded(m_language, QStringLiteral("数据库文件不能写入，查询结果无法保存，只能查看历史记录：\n%1"),
        QStringLiteral("the database file cannot be written, so no figures can be stored: %1"))
        .arg(m_storeError);
}

void DomainQuery::setStoreTiming(const StoreWriter::Timing& timing)
{
    if (m_writer) {
        m_writer->setTiming(timing);
    }
}

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
        Q_EMIT errorOccurred(worded(m_language, QStringLiteral("所有搜索引擎都已停用，没有可以查询的引擎。"),
            QStringLiteral("every engine is switched off; see 'shoulu-cli engines'")));
        return result;
    }
    if (!canStore()) {
        Q_EMIT errorOccurred(cannotStoreText());
        return result;
    }
    // Asked as it is stored: "site:  lead.com  " would ask about another text than the row holds.
    const QString domain = trimControlAndBlank(typed);
    beginRun(repliesPerDomain());
    m_single = true;
    m_state.CurrentDomain = domain;
    Q_EMIT statusChanged(worded(m_language, QStringLiteral("正在查询："), QStringLiteral("querying ")) + domain);

    QStringList items = boxItems;
    if (!domain.isEmpty() && !items.contains(domain, Qt::CaseInsensitive)) {
        items.append(domain);
    }
    // A store failure must not strand the run: report it and still ask the engines.
    for (const QString& item : std::as_const(items)) {
        if (auto added = m_domains.addDomain(item); !added) {
            Q_EMIT errorOccurred(QStringLiteral("%1 未能加入域名列表（%2），查询照常进行").arg(item, added.error()));
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
    m_stopping = false;
    m_runDomains = repliesPerDomain() > 0 ? expectedReplies / repliesPerDomain() : 0;
    m_startedDomains = 0;
    m_tally = {};
    m_cooldown.reset();
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
    ++m_startedDomains;
    for (const int i : m_asked) {
        if (!m_single && m_cooldown.skips(i)) {
            // Not asked, yet a reply of the domain's: its row completes as ever.
            pending.readings[i] = coolingReading();
            QTimer::singleShot(0, this, [this, ticket] { exitth(ticket); });
        } else {
            startFetch(m_catalogue.engine(i).queryUrl(domain), i, ticket);
        }
    }
}

void DomainQuery::startFetch(const QByteArray& url, int engineIndex, quint64 ticket)
{
    auto* fetch = new Tmyhttpget(this);
    fetch->UseCache = false;
    fetch->Agent = m_catalogue.userAgent();
    fetch->AcceptLanguage = QString::fromLatin1(AcceptLanguage);
    fetch->Cookies = cookiesFor(engineIndex);
    if (m_proxy) {
        fetch->Proxy = *m_proxy;
    }
    fetch->URL = url;
    fetch->RedirectHosts = m_catalogue.engine(engineIndex).redirectHosts();
    fetch->EngineIndex = engineIndex;
    m_pending[ticket].awaited.insert(engineIndex);
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
    Reply reply = sender->reply();
    reply.arrived = true;
    reply.body = page;
    record(sender, ticket, std::move(reply));
}

void DomainQuery::geterror(Tmyhttpget* sender, quint64 ticket)
{
    Reply reply = sender->reply();
    reply.arrived = false;
    reply.body = {};
    record(sender, ticket, std::move(reply));
}

void DomainQuery::record(Tmyhttpget* sender, quint64 ticket, Reply reply)
{
    const int engine = sender->EngineIndex;
    if (engine >= 0 && engine < m_catalogue.size()) {
        const CatalogueEngine& info = m_catalogue.engine(engine);
        reply.engine = info.key;
        reply.route = info.route;
        if (!reply.fetchedAt.isValid()) {
            reply.fetchedAt = QDateTime::currentDateTime(); // a fetch that never started
        }
        const Reading reading = readReply(info, reply);
        if (!m_single) {
            m_cooldown.noteReading(engine, reading);
        }
        if (info.column >= 0 && info.column < EngineCount) {
            m_state.EngineCounts[static_cast<size_t>(info.column)] = reading.count;
        }
        if (auto it = m_pending.find(ticket); it != m_pending.end()) {
            if (info.column >= 0 && info.column < EngineCount) {
                it->second.counts[static_cast<size_t>(info.column)] = reading.count;
            }
            it->second.readings[engine] = reading;
            it->second.awaited.erase(engine);
            if (m_pageSink != nullptr && reply.arrived) {
                reply.domain = it->second.domain;
                m_pageSink->keep(std::move(reply), isTrustworthy(reading.status));
            }
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
            missing.append(m_language == Language::English
                    ? m_catalogue.engine(asked).key + QLatin1Char(' ') + statusWord(reading.status)
                    : m_catalogue.engine(asked).caption + QLatin1Char(' ') + statusCaption(reading.status));
        }
    }
    const QString list = missing.join(worded(m_language, QStringLiteral("，"), QStringLiteral(", ")));
    QString text = worded(m_language, QStringLiteral("查询完毕："), QStringLiteral("done: ")) + domain;
    if (!anyFigure) {
        // Stored all the same; the user must not take the zeros for figures.
        return text
            + worded(m_language, QStringLiteral("（没有一个引擎给出收录数：%1）"),
                QStringLiteral(" (no engine gave a figure: %1)"))
                  .arg(list);
    }
    if (!missing.isEmpty()) {
        text += worded(m_language, QStringLiteral("（%1）"), QStringLiteral(" (%1)")).arg(list);
    }
    return text;
}

QString DomainQuery::summaryText() const
{
    QStringList parts;
    for (const auto& [status, count] : m_tally.readings) {
        parts.append(QStringLiteral("%1 %2")
                         .arg(m_language == Language::English ? statusWord(status) : statusCaption(status))
                         .arg(count));
    }
    if (m_language == Language::English) {
        // The command line names the engines that rested in lines of its own.
        return QStringLiteral("batch done: %1 domains (%2)").arg(m_tally.domains).arg(parts.join(QStringLiteral(", ")));
    }
    const QString readings
        = parts.isEmpty() ? QString() : QStringLiteral("（%1）").arg(parts.join(QStringLiteral("，")));
    return (m_stopping ? QStringLiteral("批量查询已停止：") : QStringLiteral("批量查询完毕："))
        + QStringLiteral("%1 个域名").arg(m_tally.domains) + readings + m_cooldown.summaryText(m_catalogue);
}

DomainQuery::Progress DomainQuery::progress() const
{
    Progress progress;
    progress.domainsDone = m_tally.domains;
    progress.domains = m_runDomains;
    progress.replies = m_state.TotalReplies;
    progress.expectedReplies = m_state.ExpectedReplies;
    std::set<int> awaited;
    for (const auto& [ticket, pending] : m_pending) {
        awaited.insert(pending.awaited.begin(), pending.awaited.end());
    }
    progress.awaited.assign(awaited.begin(), awaited.end());
    return progress;
}

void DomainQuery::stopStarting()
{
    if (!m_state.Busy || m_single) {
        return;
    }
    m_stopping = true;
    m_runDomains = m_startedDomains;
    // What is still to come: the replies of the domains and retries already started.
    int outstanding = 0;
    for (const auto& [ticket, pending] : m_pending) {
        const int expected = pending.rowId != 0 ? int(pending.retried.size()) : repliesPerDomain();
        outstanding += std::max(0, expected - pending.replies);
    }
    m_state.ExpectedReplies = m_state.TotalReplies + outstanding;
    Q_EMIT gaugeChanged(m_state.ExpectedReplies, m_state.TotalReplies);
    finishRunIfDone();
}

void DomainQuery::exitth(quint64 ticket)
{
    auto it = m_pending.find(ticket);
    if (it != m_pending.end() && it->second.rowId != 0) {
        exitRetry(it);
    } else if (it != m_pending.end()) {
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
            m_unstored.emplace(ticket, done.domain);
            RowToStore row { ticket, done.domain, m_state.QueryTime, done.counts, storedReadings(done.readings) };
            if (!m_single) {
                m_storing.emplace(ticket, done.readings); // the cool-down learns the row's id once stored
            }
            if (m_writer) {
                m_writer->store(std::move(row));
            } else {
                rowNotStored(ticket, done.domain, m_storeError, StoreFailure::Unrecoverable);
            }
            Q_EMIT statusChanged(finishedText(done.domain, done.readings));
        }
    } else if (!m_state.Busy) {
        return; // a reply of a run the store stopped
    }

    ++m_state.TotalReplies;
    Q_EMIT gaugeChanged(m_state.ExpectedReplies, m_state.TotalReplies);
    finishRunIfDone();
}

void DomainQuery::finishRunIfDone()
{
    // A run ends once its rows are in the file (or given up), not when the last reply is in.
    if (m_state.Busy && m_state.TotalReplies >= m_state.ExpectedReplies && m_unstored.empty()) {
        if (!m_single && !m_stopping && m_cooldown.hasDueRetry()) {
            Q_EMIT retriesDue();
            return;
        }
        m_state.Busy = false;
        if (!m_single) {
            Q_EMIT statusChanged(summaryText());
        }
        Q_EMIT runFinished();
        Q_EMIT historyRefreshRequested();
    }
}

void DomainQuery::rowStored(quint64 ticket, const ResultRow& row)
{
    if (m_pageSink != nullptr) {
        for (const EngineReading& each : row.readings) {
            if (each.reading.fetchedAt.isValid()) {
                m_pageSink->linked(row.domain, each.engine, each.reading.fetchedAt.toSecsSinceEpoch());
            }
        }
    }
    if (const auto storing = m_storing.find(ticket); storing != m_storing.end()) {
        m_cooldown.noteStored(row.id, row.domain, storing->second);
    }
    if (m_retried.erase(ticket) > 0) {
        Q_EMIT readingsRetried(row.domain, row.readings);
        Q_EMIT historyRefreshRequested();
        settle(ticket);
        return;
    }
    if (std::exchange(m_waitShown, false)) {
        Q_EMIT statusChanged(
            worded(m_language, QStringLiteral("%1 的收录数已保存"), QStringLiteral("%1: figures stored"))
                .arg(row.domain));
    }
    Q_EMIT rowCommitted(row);
    Q_EMIT historyRefreshRequested();
    settle(ticket);
}

void DomainQuery::rowWaiting(quint64 /*ticket*/, const QString& domain, const QString& error, int pauseMs)
{
    m_waitShown = true;
    Q_EMIT statusChanged(
        worded(m_language, QStringLiteral("数据库文件正被占用（%1），%2 的收录数暂存内存，%3 秒后再次保存……"),
            QStringLiteral("the database file is busy (%1); the figures of %2 wait in memory, saving again in %3 s..."))
            .arg(error, domain)
            .arg((pauseMs + 999) / 1000));
}

void DomainQuery::rowNotStored(quint64 ticket, const QString& domain, const QString& error, StoreFailure kind)
{
    m_lost.append(domain);
    Q_EMIT errorOccurred(
        worded(m_language, QStringLiteral("%1 的收录数未能保存：%2"), QStringLiteral("%1: figures not stored: %2"))
            .arg(domain, error));
    if (kind == StoreFailure::Unrecoverable) {
        stopRun(error);
    }
    settle(ticket);
}

void DomainQuery::settle(quint64 ticket)
{
    m_storing.erase(ticket);
    m_retried.erase(ticket);
    if (m_unstored.erase(ticket) > 0 && m_unstored.empty()) {
        Q_EMIT rowsSettled();
        finishRunIfDone();
    }
}

void DomainQuery::stopRun(const QString& why)
{
    if (!m_state.Busy) {
        return;
    }
    // Every later row would fail the same way: fetching on would only spend requests.
    m_pending.clear();
    m_state.Busy = false;
    Q_EMIT statusChanged(worded(m_language, QStringLiteral("查询已停止：数据库文件无法写入（%1）"),
        QStringLiteral("query stopped: the database file cannot be written (%1)"))
                             .arg(why));
    Q_EMIT runFinished();
    Q_EMIT historyRefreshRequested();
}

QStringList DomainQuery::finishStoring()
{
    if (m_writer) {
        for (const RowToStore& row : m_writer->stop()) {
            m_lost.append(row.domain);
        }
        m_writer.reset();
        m_storeError = QStringLiteral("storing has ended");
    }
    m_unstored.clear();
    m_storing.clear();
    m_retried.clear();
    return m_lost;
}

} // namespace shoulu
