#pragma once

#include "util/Language.h"
#include "util/PageSink.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace shoulu {

class PageArchive;

// Archives pages on a thread of its own, in the order they were handed in; the caller's thread
// only queues them. The file is opened (and made, when missing) at the first page. The first
// failure is reported once through errorOccurred; a file that cannot be opened is not tried again.
//   ArchiveWriter writer(PageArchive::fileBeside(dbPath)); query.setPageSink(&writer);
class ArchiveWriter : public QObject, public PageSink
{
    Q_OBJECT

public:
    // Bodies waiting to be archived hold at most this much memory; a page beyond it is not
    // archived (said once), so a slow disk or huge pages cannot grow a batch without bound.
    static constexpr qint64 DefaultQueueBytes = qint64(128) * 1024 * 1024;

    explicit ArchiveWriter(QString path, QObject* parent = nullptr, Language language = Language::Chinese,
        qint64 queueBytes = DefaultQueueBytes);
    // Archives what was handed in before, then stops.
    ~ArchiveWriter() override;

    const QString& path() const { return m_path; }
    void keep(Reply page, bool trusted) override;
    void linked(const QString& domain, const QString& engine, qint64 fetchedAt) override;
    // Gives up pages past the archive's limits, after the pages handed in so far.
    void prune();
    // Returns once everything handed in so far is done.
    void waitUntilIdle();

Q_SIGNALS:
    // Emitted on the writer's thread: connect with a receiver to have it delivered on the receiver's.
    void errorOccurred(const QString& message);

private:
    using Job = std::function<void(PageArchive&)>;

    void post(Job job);
    void run();
    void report(const QString& message);

    QString m_path;
    const Language m_language; // of the reports
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    const qint64 m_queueLimit;
    qint64 m_queuedBytes = 0;
    bool m_fullSaid = false;
    bool m_busy = false;
    bool m_stopping = false;
    bool m_reported = false; // touched on the writer's thread only
    std::thread m_thread;
};

} // namespace shoulu
