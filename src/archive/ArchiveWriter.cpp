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
    , m_worker(this,
          { .work =
                  [this](Job& job) {
                      run(job);
                      return std::optional<int>();
                  },
              .announce = [this](QString& message) { Q_EMIT errorOccurred(message); },
              .ended = [this] { m_archive.reset(); } })
{ }

ArchiveWriter::~ArchiveWriter()
{
    const auto left = m_worker.stop(SerialWorker<Job, QString>::Ending::Finish);
    if (m_worker.onOwnerThread()) {
        for (const QString& message : left.outcomes) {
            Q_EMIT errorOccurred(message);
        }
    }
}

void ArchiveWriter::keep(Reply page, bool trusted)
{
    const qint64 size = page.body.size();
    {
        std::lock_guard lock(m_mutex);
        if (m_queuedBytes + size > m_queueLimit && m_queuedBytes > 0) {
            if (!std::exchange(m_fullSaid, true)) {
                m_worker.post([this](PageArchive& archive) {
                    report(worded(m_language,
                        QStringLiteral("网页存档跟不上（%1）：等待存档的网页已占 %2 MiB，其后的网页未存档"),
                        QStringLiteral("the page archive falls behind (%1): the pages waiting for it hold %2 MiB, "
                                       "later pages are not archived"))
                               .arg(archive.path())
                               .arg(m_queueLimit / (1024 * 1024)));
                });
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
    m_worker.post(std::move(job));
}

void ArchiveWriter::waitUntilIdle()
{
    m_worker.waitUntilIdle();
    if (m_worker.onOwnerThread()) {
        m_worker.announcePending();
    }
}

void ArchiveWriter::report(const QString& message)
{
    // Once: a full disk would otherwise say so for every page of a batch.
    if (!m_reported) {
        m_reported = true;
        m_worker.tell(message);
    }
}

void ArchiveWriter::run(Job& job)
{
    if (!m_archive && !m_unusable) {
        auto opened = PageArchive::open(m_path, PageArchive::Mode::CreateIfMissing);
        if (opened) {
            m_archive = std::move(*opened);
        } else {
            m_unusable = true; // a damaged or foreign file: the figures go on without it
            report(worded(m_language, QStringLiteral("网页存档无法使用，本次不再存档网页：%1"),
                QStringLiteral("the page archive cannot be used; no pages are archived this time: %1"))
                       .arg(opened.error()));
        }
    }
    if (m_archive) {
        job(*m_archive);
    }
}

} // namespace shoulu
