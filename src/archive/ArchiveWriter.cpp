#include "archive/ArchiveWriter.h"

#include "archive/ArchiveRetention.h"
#include "archive/PageArchive.h"

#include <QDateTime>

#include <utility>

namespace shoulu {

ArchiveWriter::ArchiveWriter(QString path, QObject* parent, Language language, qint64 queueBytes)
    : QObject(parent)
    , m_path(std::move(path))
    , m_language(language)
    , m_queueLimit(queueBytes)
    , m_thread([this] { run(); })
{ }

ArchiveWriter::~ArchiveWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void ArchiveWriter::keep(Reply page, bool trusted)
{
    const qint64 size = page.body.size();
    {
        std::lock_guard lock(m_mutex);
        if (m_queuedBytes + size > m_queueLimit && m_queuedBytes > 0) {
            if (!std::exchange(m_fullSaid, true)) {
                m_jobs.push_back([this](PageArchive& archive) {
                    report(worded(m_language,
                        QStringLiteral("网页存档跟不上（%1）：等待存档的网页已占 %2 MiB，其后的网页未存档"),
                        QStringLiteral("the page archive falls behind (%1): the pages waiting for it hold %2 MiB, "
                                       "later pages are not archived"))
                               .arg(archive.path())
                               .arg(m_queueLimit / (1024 * 1024)));
                });
                m_wake.notify_one();
            }
            return;
        }
        m_queuedBytes += size;
    }
    post([this, size, trusted, page = std::move(page)](PageArchive& archive) mutable {
        if (auto stored = archive.store(page, trusted); !stored) {
            report(worded(m_language, QStringLiteral("网页未能存档（%1）：%2"),
                QStringLiteral("a page was not archived (%1): %2"))
                       .arg(archive.path(), stored.error()));
        }
        page = {}; // the body's memory goes before the queue says there is room
        std::lock_guard lock(m_mutex);
        m_queuedBytes -= size;
    });
}

void ArchiveWriter::linked(const QString& domain, const QString& engine, qint64 fetchedAt)
{
    post([this, domain, engine, fetchedAt](PageArchive& archive) {
        if (auto done = archive.link(domain, engine, fetchedAt); !done) {
            report(worded(m_language, QStringLiteral("网页存档未能记下读数（%1）：%2"),
                QStringLiteral("the page archive could not note a page's reading (%1): %2"))
                       .arg(archive.path(), done.error()));
        }
    });
}

void ArchiveWriter::prune()
{
    post([this](PageArchive& archive) {
        if (auto pruned = ArchiveRetention(archive).prune(QDateTime::currentSecsSinceEpoch()); !pruned) {
            report(worded(m_language, QStringLiteral("网页存档未能清理（%1）：%2"),
                QStringLiteral("the page archive could not be pruned (%1): %2"))
                       .arg(archive.path(), pruned.error()));
        }
    });
}

void ArchiveWriter::post(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void ArchiveWriter::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void ArchiveWriter::report(const QString& message)
{
    // Once: a full disk would otherwise say so for every page of a batch.
    if (!m_reported) {
        m_reported = true;
        Q_EMIT errorOccurred(message);
    }
}

void ArchiveWriter::run()
{
    std::unique_ptr<PageArchive> archive;
    bool unusable = false;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        if (m_jobs.empty()) {
            return; // stopping, with nothing left to do
        }
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        if (!archive && !unusable) {
            auto opened = PageArchive::open(m_path, PageArchive::Mode::CreateIfMissing);
            if (opened) {
                archive = std::move(*opened);
            } else {
                unusable = true; // a damaged or foreign file: the figures go on without it
                report(worded(m_language, QStringLiteral("网页存档无法使用，本次不再存档网页：%1"),
                    QStringLiteral("the page archive cannot be used; no pages are archived this time: %1"))
                           .arg(opened.error()));
            }
        }
        if (archive) {
            job(*archive);
        }
        lock.lock();
        m_busy = false;
        if (m_jobs.empty()) {
            m_idle.notify_all();
        }
    }
}

} // namespace shoulu
