#include "store/StoreWriter.h"

#include "store/Database.h"
#include "store/ResultRows.h"

#include <utility>

namespace shoulu {

namespace {

Result<qint64> write(ResultRows& rows, const RowToStore& row)
{
    if (row.replacesRow == 0) {
        return rows.addshoulu(row.domain, row.queryTime, row.counts, row.readings);
    }
    if (auto replaced = rows.replaceReadings(row.replacesRow, row.readings); !replaced) {
        return replaced.failure();
    }
    return row.replacesRow;
}

} // namespace

Result<std::unique_ptr<StoreWriter>> StoreWriter::open(const QString& path)
{
    auto db = SettingsDatabase::open(path, Access::Write);
    if (!db) {
        return db.failure();
    }
    return std::unique_ptr<StoreWriter>(new StoreWriter(std::move(db.value())));
}

StoreWriter::StoreWriter(std::unique_ptr<SettingsDatabase> db)
    : m_db(std::move(db))
    , m_rows(std::make_unique<ResultRows>(m_db->database()))
    , m_worker(this,
          { .work = [this](RowToStore& row) { return commit(row); },
              .announce = [this](Outcome& outcome) { announce(outcome); },
              .ended =
                  [this] {
                      // The connection is closed on the thread that used it.
                      m_rows.reset();
                      m_db.reset();
                  } })
{
    m_db->database().setBusyTimeout(m_timing.busyTimeoutMs, m_worker.stopFlag());
}

StoreWriter::~StoreWriter()
{
    m_worker.stop(SerialWorker<RowToStore, Outcome>::Ending::Abandon);
}

void StoreWriter::setTiming(const Timing& timing)
{
    m_worker.interject([this, timing] {
        m_timing = timing;
        m_db->database().setBusyTimeout(m_timing.busyTimeoutMs, m_worker.stopFlag());
    });
}

void StoreWriter::store(RowToStore row)
{
    m_worker.post(std::move(row));
}

QList<RowToStore> StoreWriter::stop()
{
    auto left = m_worker.stop(SerialWorker<RowToStore, Outcome>::Ending::Abandon);
    QList<RowToStore> notStored;
    for (Outcome& outcome : left.outcomes) {
        if (outcome.kind == Outcome::Kind::Failed) {
            notStored.append(std::move(outcome.row));
        }
    }
    notStored.append(QList<RowToStore>(left.items.begin(), left.items.end()));
    return notStored;
}

std::optional<int> StoreWriter::commit(const RowToStore& row)
{
    const auto id = write(*m_rows, row);
    const StoreFailure kind = id ? StoreFailure::Transient : classifyStoreFailure(id.failure().code);
    Outcome outcome {
        .kind = Outcome::Kind::Committed, .row = row, .stored = {}, .error = {}, .pauseMs = 0, .failure = kind
    };
    if (!id && kind == StoreFailure::Transient) {
        if (*m_worker.stopFlag()) {
            return 0; // kept for stop() to hand back
        }
        if (m_failures++ == 0) {
            m_sinceFirstFailure.start();
        }
        if (const auto pause = m_timing.retry.pauseAfter(m_failures, m_sinceFirstFailure.elapsed())) {
            outcome.kind = Outcome::Kind::Waiting;
            outcome.error = id.error();
            outcome.pauseMs = *pause;
            m_worker.tell(std::move(outcome));
            return *pause;
        }
    }
    m_failures = 0;
    if (id) {
        outcome.stored = storedRow(*id, row.domain, row.queryTime, row.counts, row.readings);
    } else {
        outcome.kind = Outcome::Kind::Failed;
        outcome.error = id.error();
    }
    m_worker.tell(std::move(outcome));
    return std::nullopt;
}

void StoreWriter::announce(Outcome& outcome)
{
    switch (outcome.kind) {
    case Outcome::Kind::Committed:
        Q_EMIT committed(outcome.row.ticket, outcome.stored);
        break;
    case Outcome::Kind::Waiting:
        Q_EMIT waiting(outcome.row.ticket, outcome.row.domain, outcome.error, outcome.pauseMs);
        break;
    case Outcome::Kind::Failed:
        Q_EMIT failed(outcome.row.ticket, outcome.row.domain, outcome.error, outcome.failure);
        break;
    }
}

} // namespace shoulu
