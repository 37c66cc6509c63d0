#include "store/StoreWriter.h"

#include "store/Database.h"
#include "store/ResultRows.h"

#include <QElapsedTimer>
#include <QTimer>

namespace shoulu {

class StoreWriter::Loop : public QObject
{
public:
    explicit Loop(std::unique_ptr<SettingsDatabase> db)
        : m_db(std::move(db))
        , m_rows(m_db->database())
        , m_retryTimer(this)
    {
        m_retryTimer.setSingleShot(true);
    }

    Result<qint64> write(const RowToStore& row)
    {
        if (row.replacesRow == 0) {
            return m_rows.addshoulu(row.domain, row.queryTime, row.counts, row.readings);
        }
        if (auto replaced = m_rows.replaceReadings(row.replacesRow, row.readings); !replaced) {
            return replaced.failure();
        }
        return row.replacesRow;
    }

    std::unique_ptr<SettingsDatabase> m_db;
    ResultRows m_rows;
    QTimer m_retryTimer;
    int m_failures = 0; // of the first queued row
    QElapsedTimer m_sinceFirstFailure;
};

Result<std::unique_ptr<StoreWriter>> StoreWriter::open(const QString& path)
{
    auto db = SettingsDatabase::open(path, Access::Write);
    if (!db) {
        return db.failure();
    }
    return std::unique_ptr<StoreWriter>(new StoreWriter(std::move(db.value())));
}

StoreWriter::StoreWriter(std::unique_ptr<SettingsDatabase> db)
{
    db->database().setBusyTimeout(m_timing.busyTimeoutMs, &m_stopping);
    m_loop = new Loop(std::move(db));
    m_loop->moveToThread(&m_thread);
    connect(&m_loop->m_retryTimer, &QTimer::timeout, m_loop, [this] { commitQueued(); });
    // Deleted on the thread as it ends, so the connection closes there, before stop() returns.
    connect(&m_thread, &QThread::finished, m_loop, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("StoreWriter"));
    m_thread.start();
}

StoreWriter::~StoreWriter()
{
    stop();
}

void StoreWriter::setTiming(const Timing& timing)
{
    {
        const std::lock_guard lock(m_mutex);
        m_timing = timing;
    }
    if (!m_stopping) {
        QMetaObject::invokeMethod(
            m_loop, [this, timing] { m_loop->m_db->database().setBusyTimeout(timing.busyTimeoutMs, &m_stopping); });
    }
}

void StoreWriter::store(RowToStore row)
{
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(row));
    }
    if (!m_stopping) {
        QMetaObject::invokeMethod(m_loop, [this] { commitQueued(); });
    }
}

QList<RowToStore> StoreWriter::stop()
{
    m_stopping = true;
    if (m_loop != nullptr) {
        m_thread.quit();
        m_thread.wait();
        m_loop = nullptr;
    }
    const std::lock_guard lock(m_mutex);
    return QList<RowToStore>(m_queue.begin(), m_queue.end());
}

void StoreWriter::commitQueued()
{
    Loop& loop = *m_loop;
    if (loop.m_retryTimer.isActive()) {
        return; // the first row's pause is not over: every row behind it waits too
    }
    while (!m_stopping) {
        RowToStore row;
        Timing timing;
        {
            const std::lock_guard lock(m_mutex);
            if (m_queue.empty()) {
                return;
            }
            row = m_queue.front();
            timing = m_timing;
        }
        auto id = loop.write(row);
        const StoreFailure kind = id ? StoreFailure::Transient : classifyStoreFailure(id.failure().code);
        if (!id && kind == StoreFailure::Transient) {
            if (m_stopping) {
                return; // kept for stop() to hand back
            }
            if (loop.m_failures++ == 0) {
                loop.m_sinceFirstFailure.start();
            }
            if (const auto pause = timing.retry.pauseAfter(loop.m_failures, loop.m_sinceFirstFailure.elapsed())) {
                loop.m_retryTimer.start(*pause);
                Q_EMIT waiting(row.ticket, row.domain, id.error(), *pause);
                return;
            }
        }
        {
            const std::lock_guard lock(m_mutex);
            m_queue.pop_front();
        }
        loop.m_failures = 0;
        if (id) {
            Q_EMIT committed(row.ticket, storedRow(*id, row.domain, row.queryTime, row.counts, row.readings));
        } else {
            Q_EMIT failed(row.ticket, row.domain, id.error(), kind);
        }
    }
}

} // namespace shoulu
