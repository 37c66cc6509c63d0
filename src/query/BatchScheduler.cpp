#include "query/BatchScheduler.h"

#include "query/DomainQuery.h"
#include "util/EngineCounts.h"

#include <QTimer>

namespace shoulu {

BatchScheduler::BatchScheduler(DomainQuery& query, QTimer& timer, QObject* parent)
    : QObject(parent)
    , m_query(query)
    , m_timer(timer)
{
    // The run's last reply stops the timer, whoever started the run.
    connect(&m_query, &DomainQuery::runFinished, this, [this] {
        m_timer.stop();
        m_running = false;
    });
    // Retries go at the batch's pace, as the domains did.
    connect(&m_query, &DomainQuery::retriesDue, this, [this] { m_timer.start(); });
}

BatchScheduler::StartResult BatchScheduler::start(const QStringList& domains, int delaySeconds)
{
    if (m_query.isBusy()) {
        return StartResult::Busy;
    }
    if (domains.isEmpty()) {
        return StartResult::EmptyList;
    }
    if (m_query.repliesPerDomain() == 0) {
        return StartResult::NoEngines;
    }
    m_domains = domains;
    m_query.beginRun(m_query.repliesPerDomain() * static_cast<int>(m_domains.size()));
    m_delayTicks = delaySeconds;
    m_batchCursor = 0;
    m_running = true;
    m_timer.setInterval(FirstTickMs);
    m_timer.start();
    Q_EMIT m_query.statusChanged(worded(m_query.language(), QStringLiteral("开始查询所有域名收录量..."),
        QStringLiteral("querying every listed domain...")));
    return StartResult::Started;
}

bool BatchScheduler::stop()
{
    if (!m_running) {
        return false;
    }
    m_domains = m_domains.mid(0, m_batchCursor);
    m_timer.stop();
    m_query.stopStarting();
    return true;
}

void BatchScheduler::tick(int delaySeconds)
{
    if (m_delayTicks > delaySeconds && m_batchCursor < m_domains.size()) {
        m_timer.setInterval(TickMs);
        const QString domain = m_domains.at(m_batchCursor);
        ++m_batchCursor;
        m_delayTicks = 0;
        if (m_batchCursor >= m_domains.size()) {
            m_timer.stop();
        }
        m_query.startDomain(domain);
    } else if (m_delayTicks > delaySeconds && m_query.startNextRetry()) {
        m_delayTicks = 0;
    }
    ++m_delayTicks;
}

} // namespace shoulu
