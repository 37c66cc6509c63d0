#include "store/StoreWriter.h"

#include "store/Database.h"
#include "store/ResultRows.h"

#include <QElapsedTimer>
#include <QPointer>

#include <chrono>
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
{
    m_db->database().setBusyTimeout(m_timing.busyTimeoutMs, &m_stopping);
    m_thread = std::thread([this] { run(); });
}

StoreWriter::~StoreWriter()
{
    halt();
}

void StoreWriter::setTiming(const Timing& timing)
{
    {
        const std::lock_guard lock(m_mutex);
        m_timing = timing;
        m_timingChanged = true;
    }
    m_wake.notify_one();
}

void StoreWriter::store(RowToStore row)
{
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(row));
    }
    m_wake.notify_one();
}

void StoreWriter::halt()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

QList<RowToStore> StoreWriter::stop()
{
    halt();
    const std::lock_guard lock(m_mutex);
    QList<RowToStore> notStored;
    for (Outcome& outcome : m_outbox) {
        if (outcome.kind == Outcome::Kind::Failed) {
            notStored.append(std::move(outcome.row));
        }
    }
    m_outbox.clear();
    notStored.append(QList<RowToStore>(m_queue.begin(), m_queue.end()));
    return notStored;
}

void StoreWriter::run()
{
    using Clock = std::chrono::steady_clock;
    {
        ResultRows rows(m_db->database());
        int failures = 0; // of the first queued row
        QElapsedTimer sinceFirstFailure;
        bool paused = false;
        Clock::time_point pausedUntil;
        std::unique_lock lock(m_mutex);
        while (true) {
            if (paused) {
                // The first row's pause: every row behind it waits too.
                m_wake.wait_until(lock, pausedUntil, [this] { return m_stopping || m_timingChanged; });
                paused = Clock::now() < pausedUntil;
            } else {
                m_wake.wait(lock, [this] { return m_stopping || m_timingChanged || !m_queue.empty(); });
            }
            if (m_stopping) {
                break;
            }
            if (std::exchange(m_timingChanged, false)) {
                m_db->database().setBusyTimeout(m_timing.busyTimeoutMs, &m_stopping);
            }
            if (paused || m_queue.empty()) {
                continue;
            }
            const RowToStore row = m_queue.front();
            const CommitRetry retry = m_timing.retry;
            lock.unlock();
            const auto id = write(rows, row);
            lock.lock();

            const StoreFailure kind = id ? StoreFailure::Transient : classifyStoreFailure(id.failure().code);
            Outcome outcome {
                .kind = Outcome::Kind::Committed, .row = row, .stored = {}, .error = {}, .pauseMs = 0, .failure = kind
            };
            bool settled = true;
            if (!id && kind == StoreFailure::Transient) {
                if (m_stopping) {
                    break; // kept for stop() to hand back
                }
                if (failures++ == 0) {
                    sinceFirstFailure.start();
                }
                if (const auto pause = retry.pauseAfter(failures, sinceFirstFailure.elapsed())) {
                    paused = true;
                    pausedUntil = Clock::now() + std::chrono::milliseconds(*pause);
                    outcome.kind = Outcome::Kind::Waiting;
                    outcome.error = id.error();
                    outcome.pauseMs = *pause;
                    settled = false;
                }
            }
            if (settled) {
                m_queue.pop_front();
                failures = 0;
                if (id) {
                    outcome.stored = storedRow(*id, row.domain, row.queryTime, row.counts, row.readings);
                } else {
                    outcome.kind = Outcome::Kind::Failed;
                    outcome.error = id.error();
                }
            }
            if (queueOutcome(std::move(outcome))) {
                lock.unlock();
                QMetaObject::invokeMethod(this, "announceOutcomes", Qt::QueuedConnection);
                lock.lock();
            }
        }
    }
    // The connection is closed on the thread that used it.
    m_db.reset();
}

bool StoreWriter::queueOutcome(Outcome outcome)
{
    m_outbox.push_back(std::move(outcome));
    return !std::exchange(m_announcePosted, true);
}

void StoreWriter::announceOutcomes()
{
    // One at a time: a receiver may stop or even delete the writer.
    const QPointer<StoreWriter> alive(this);
    {
        const std::lock_guard lock(m_mutex);
        m_announcePosted = false;
    }
    while (alive) {
        Outcome outcome;
        {
            const std::lock_guard lock(m_mutex);
            if (m_outbox.empty()) {
                return;
            }
            outcome = std::move(m_outbox.front());
            m_outbox.pop_front();
        }
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
}

} // namespace shoulu
