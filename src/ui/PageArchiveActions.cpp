#include "ui/PageArchiveActions.h"

#include "archive/ArchiveWriter.h"
#include "archive/PageArchive.h"
#include "archive/Rereader.h"
#include "engines/EngineCatalogue.h"
#include "engines/PageText.h"
#include "query/AppContext.h"
#include "query/DomainQuery.h"
#include "ui/HistoryList.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryFile>
#include <QUrl>
#include <QVBoxLayout>

namespace shoulu {

namespace {

// When no browser opens the file: the page's text, as the engine's rules read it.
void showAsText(QWidget* parent, const QString& title, const QString& text)
{
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("pageText"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    auto* view = new QPlainTextEdit(text, dialog);
    view->setReadOnly(true);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(view);
    dialog->resize(800, 600);
    dialog->show();
}

QString changeLine(const RereadChange& change)
{
    return QStringLiteral("%1 %2：%3 → %4")
        .arg(change.date.toString(Qt::ISODate), change.engine,
            isTrustworthy(change.oldStatus) ? QString::number(change.oldCount) : statusCaption(change.oldStatus),
            isTrustworthy(change.newStatus) ? QString::number(change.newCount) : statusCaption(change.newStatus));
}

} // namespace

PageArchiveActions::PageArchiveActions(AppContext& context, QWidget* window)
    : QObject(window)
    , m_settings(context.database())
    , m_window(window)
    , m_catalogueFile(EngineCatalogue::userFileBeside(context.databasePath()))
    , m_writer(context.archive())
{
    // The writer speaks on the thread that made it, the window's; this object passes it on.
    connect(&m_writer, &ArchiveWriter::errorOccurred, this, &PageArchiveActions::errorOccurred);
}

void PageArchiveActions::attach(DomainQuery& query, HistoryList& list)
{
    connect(&query, &DomainQuery::runFinished, this, [this] { m_writer.prune(); });
    connect(&list, &HistoryList::pageRequested, this, &PageArchiveActions::showPage);
    connect(&list, &HistoryList::rereadRequested, this, &PageArchiveActions::reread);
}

void PageArchiveActions::showPage(const QString& domain, const QString& engine, qint64 fetchedAt)
{
    m_writer.waitUntilIdle(); // the page of the reading just made may still be on its way
    auto archive = PageArchive::open(m_writer.path(), PageArchive::Mode::Existing);
    auto page = archive ? (*archive)->pageOf(domain, engine, fetchedAt)
                        : Result<std::pair<ArchivedFetch, QByteArray>>(archive.failure());
    if (!page) {
        MessageBox::warning(m_window, QStringLiteral("无法打开存档的网页：%1").arg(page.error()));
        return;
    }
    const auto& [facts, body] = *page;
    QTemporaryFile file(QDir::temp().filePath(QStringLiteral("shoulu-page-XXXXXX.html")));
    file.setAutoRemove(false); // the browser reads it after this returns
    if (file.open() && file.write(body) == body.size() && file.flush()
        && QDesktopServices::openUrl(QUrl::fromLocalFile(file.fileName()))) {
        return;
    }
    const PageEncoding encoding = detectEncoding(facts.contentType, body, PageEncoding::Utf8);
    showAsText(m_window, QStringLiteral("%1 - %2").arg(domain, engine), decodePage(body, encoding));
}

void PageArchiveActions::reread(const QString& domain)
{
    m_writer.waitUntilIdle();
    auto archive = PageArchive::open(m_writer.path(), PageArchive::Mode::Existing);
    if (!archive) {
        MessageBox::warning(m_window, QStringLiteral("无法重新识别：%1").arg(archive.error()));
        return;
    }
    QStringList lines;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto summary
        = Rereader(m_settings, **archive, m_catalogueFile)
              .run({ domain, 0, false }, [&lines](const RereadChange& change) { lines.append(changeLine(change)); });
    QApplication::restoreOverrideCursor();
    if (!summary) {
        MessageBox::error(m_window, QStringLiteral("重新识别失败，读数未作改动：%1").arg(summary.error()));
        return;
    }
    if (summary->changed > 0) {
        Q_EMIT historyChanged();
    }
    constexpr int Shown = 20;
    const qsizetype more = lines.size() - Shown;
    lines = lines.mid(0, Shown);
    if (more > 0) {
        lines.append(QStringLiteral("……另有 %1 个").arg(more));
    }
    MessageBox::plain(m_window,
        QStringLiteral("重新识别完毕：%1，%2 个存档网页，%3 个读数有变化。")
                .arg(domain)
                .arg(summary->pages)
                .arg(summary->changed)
            + (lines.isEmpty() ? QString() : QLatin1Char('\n') + lines.join(QLatin1Char('\n'))));
}

} // namespace shoulu
