// DomainQuery at the end of a batch: readings skipped while their engine rested are asked once more.
#include "engines/PageReader.h"
#include "query/DomainQuery.h"
#include "store/ResultRows.h"

namespace shoulu {

bool DomainQuery::startNextRetry()
{
    const std::optional<BatchCooldown::Retry> retry = m_cooldown.takeDueRetry();
    if (!retry) {
        return false;
    }
    const quint64 ticket = m_nextTicket++;
    PendingDomain& pending = m_pending[ticket];
    pending.domain = retry->domain;
    pending.readings = EngineReadings(m_catalogue.size(), offReading());
    pending.rowId = retry->rowId;
    pending.retried = retry->engines;
    m_state.ExpectedReplies += int(retry->engines.size());
    Q_EMIT gaugeChanged(m_state.ExpectedReplies, m_state.TotalReplies);
    Q_EMIT statusChanged(worded(m_language, QStringLiteral("补查冷却期间跳过的引擎："),
                             QStringLiteral("asking the rested engines again: "))
        + retry->domain);
    for (const int engine : retry->engines) {
        startFetch(m_catalogue.engine(engine).queryUrl(retry->domain), engine, ticket);
    }
    return true;
}

void DomainQuery::exitRetry(std::map<quint64, PendingDomain>::iterator it)
{
    PendingDomain& pending = it->second;
    if (++pending.replies < int(pending.retried.size())) {
        return;
    }
    const quint64 ticket = it->first;
    const PendingDomain done = std::move(pending);
    m_pending.erase(it);
    QList<EngineReading> readings;
    for (const int engine : done.retried) {
        readings.append(EngineReading { m_catalogue.engine(engine).key, done.readings.at(engine) });
    }
    // The summary counts each stored reading as it ends up.
    for (const EngineReading& each : std::as_const(readings)) {
        if (--m_tally.readings[ReadingStatus::Blocked] <= 0) {
            m_tally.readings.erase(ReadingStatus::Blocked);
        }
        ++m_tally.readings[each.reading.status];
    }
    m_unstored.emplace(ticket, done.domain);
    m_retried.insert(ticket);
    RowToStore row { ticket, done.domain, m_state.QueryTime, {}, readings, done.rowId };
    if (m_writer) {
        m_writer->store(std::move(row));
    } else {
        rowNotStored(ticket, done.domain, m_storeError, StoreFailure::Unrecoverable);
    }
}

} // namespace shoulu
