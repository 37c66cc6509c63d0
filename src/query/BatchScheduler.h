#pragma once

#include <QObject>
#include <QStringList>

class QTimer;

namespace shoulu {

class DomainQuery;

// Runs a domain query for every domain of a list, one domain every delay + 1 seconds, on a
// timer its owner provides (the window's Timer1, or the command line's own). The owner calls
// tick() on every timeout with the delay as it is at that moment.
class BatchScheduler : public QObject
{
    Q_OBJECT

public:
    enum class StartResult { Started, Busy, EmptyList, NoEngines };

    static constexpr int FirstTickMs = 10;
    static constexpr int TickMs = 1000;

    BatchScheduler(DomainQuery& query, QTimer& timer, QObject* parent = nullptr);

    // Walks a snapshot of `domains`, so edits to the list during the batch touch only the next one.
    StartResult start(const QStringList& domains, int delaySeconds);
    void tick(int delaySeconds);
    // Starts no further domain; the domains already started are tallied and stored, then the
    // run ends. False when no batch of this scheduler is running.
    bool stop();
    bool isRunning() const { return m_running; }

    int BatchCursor() const { return m_batchCursor; }
    int DelayTicks() const { return m_delayTicks; }
    const QStringList& domains() const { return m_domains; }

private:
    DomainQuery& m_query;
    QTimer& m_timer;
    QStringList m_domains;
    int m_batchCursor = 0;
    int m_delayTicks = 0;
    bool m_running = false;
};

} // namespace shoulu
