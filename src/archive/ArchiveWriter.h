#pragma once

#include "util/Language.h"
#include "util/PageSink.h"
#include "util/SerialWorker.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

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
    // Returns once everything handed in so far is done; called on the thread that made the
    // writer, it says a failure met meanwhile before it returns.
    void waitUntilIdle();

Q_SIGNALS:
    // Emitted on the thread that made the writer, from its event loop, waitUntilIdle() or the
    // destructor.
    void errorOccurred(const QString& message);

private:
    using Job = std::function<void(PageArchive&)>;

    void post(Job job);
    void run(Job& job); // on the writer's thread
    void report(const QString& message);

    QString m_path;
    const Language m_language; // of the reports
    std::mutex m_mutex; // guards the three below
    const qint64 m_queueLimit;
    qint64 m_queuedBytes = 0;
    bool m_fullSaid = false;
    // The writer's thread's only:
    std::unique_ptr<PageArchive> m_archive;
    bool m_unusable = false;
    bool m_reported = false;
    SerialWorker<Job, QString> m_worker; // last: its thread uses everything above
};

} // namespace shoulu
