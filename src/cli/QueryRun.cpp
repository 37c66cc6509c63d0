#include "cli/QueryRun.h"

#include "archive/ArchiveWriter.h"
#include "query/AppContext.h"
#include "query/BatchCooldown.h"
#include "query/DomainQuery.h"
#include "query/DomainText.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace shoulu::cli {

namespace {

QString progressBar(int maximum, int position)
{
    constexpr int Width = 30;
    const int filled = maximum > 0 ? Width * position / maximum : 0;
    return QStringLiteral("[%1%2] %3/%4")
        .arg(QString(filled, QLatin1Char('#')), QString(Width - filled, QLatin1Char(' ')))
        .arg(position)
        .arg(maximum);
}

} // namespace

bool reportMissingFigures(const std::vector<ResultRow>& rows, Streams& io)
{
    bool missing = false;
    for (const ResultRow& row : rows) {
        for (const EngineReading& r : row.readings) {
            if (!isTrustworthy(r.reading.status)) {
                missing = true;
                // The cool-down's mark is stored as the window words it.
                const QString error = r.reading.reason == ReadingReason::Cooling
                    ? QStringLiteral("left alone after a block")
                    : r.reading.error;
                const QString why = error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(error);
                print(io.err,
                    QStringLiteral("shoulu-cli: %1: %2 %3%4\n")
                        .arg(escapeControls(row.domain), r.engine, statusWord(r.reading.status), escapeControls(why)));
            }
        }
    }
    return missing;
}

bool noEngineReached(const ResultRow& row)
{
    bool asked = false;
    for (const EngineReading& r : row.readings) {
        if (r.reading.status == ReadingStatus::Off) {
            continue;
        }
        if (r.reading.status != ReadingStatus::Failed || r.reading.httpStatus != 0) {
            return false;
        }
        asked = true;
    }
    return asked;
}

QueryRun::QueryRun(Streams& io)
    : m_io(io)
{ }

QueryRun::~QueryRun()
{
    if (m_context) {
        // What the archive says of the pages handed in is printed before the run goes.
        archive().waitUntilIdle();
        QCoreApplication::sendPostedEvents(&m_receiver, QEvent::MetaCall);
    }
}

DomainList& QueryRun::domains()
{
    return m_context->domains();
}

ResultRows& QueryRun::rows()
{
    return m_context->rows();
}

DomainQuery& QueryRun::query()
{
    return m_context->query();
}

BatchScheduler& QueryRun::batch()
{
    return m_context->batch();
}

QTimer& QueryRun::batchTimer()
{
    return m_context->batchTimer();
}

ArchiveWriter& QueryRun::archive()
{
    return m_context->archive();
}

std::unique_ptr<QueryRun> QueryRun::open(const GlobalOptions& options, Streams& io)
{
    auto context = AppContext::open(options.dbPath, options.catalogueFile(), AppContext::CatalogueFault::Fail,
        Access::Write, options.catalogueKind(), { options.archiveFile(), Language::English });
    if (!context) {
        print(io.err, QStringLiteral("shoulu-cli: %1\n").arg(escapeControls(context.error())));
        return nullptr;
    }
    std::unique_ptr<QueryRun> run(new QueryRun(io));
    run->m_context = std::move(context.value());
    run->query().setLanguage(Language::English);

    QueryRun* self = run.get();
    // Said once, on the thread that made the writer; the figures are stored all the same.
    // The query's signals come on this thread.
    QObject::connect(
        &self->archive(), &ArchiveWriter::errorOccurred, &self->m_receiver, [self](const QString& message) {
            print(self->m_io.err, QStringLiteral("shoulu-cli: %1\n").arg(escapeControls(message)));
        });
    QObject::connect(&self->query(), &DomainQuery::errorOccurred, [self](const QString& message) {
        ++self->m_errors;
        print(self->m_io.err,
            QStringLiteral("%1shoulu-cli: %2\n")
                .arg(self->m_io.errIsTerminal ? QStringLiteral("\n") : QString(), escapeControls(message)));
    });
    if (io.errIsTerminal) {
        auto status = std::make_shared<QString>();
        auto redraw = [self, status](int maximum, int position) {
            print(self->m_io.err, QStringLiteral("\r\033[K%1 %2").arg(progressBar(maximum, position), *status));
        };
        QObject::connect(&self->query(), &DomainQuery::statusChanged, [self, status, redraw](const QString& text) {
            *status = escapeControls(text);
            redraw(self->query().state().ExpectedReplies, self->query().state().TotalReplies);
        });
        QObject::connect(&self->query(), &DomainQuery::gaugeChanged, redraw);
        QObject::connect(
            &self->query(), &DomainQuery::runFinished, [self] { print(self->m_io.err, QStringLiteral("\n")); });
    }
    return run;
}

bool QueryRun::waitUntilFinished()
{
    DomainQuery& query = this->query();
    if (query.isBusy() || query.hasUnstoredRows()) {
        QEventLoop loop;
        const auto quitWhenDone = [&query, &loop] {
            if (!query.isBusy() && !query.hasUnstoredRows()) {
                loop.quit();
            }
        };
        QObject::connect(&query, &DomainQuery::runFinished, &loop, quitWhenDone, Qt::QueuedConnection);
        QObject::connect(&query, &DomainQuery::rowsSettled, &loop, quitWhenDone, Qt::QueuedConnection);
        loop.exec();
    }
    const QStringList lost = query.finishStoring();
    if (lost.isEmpty()) {
        return true;
    }
    QStringList names;
    for (const QString& domain : lost) {
        names.append(escapeControls(domain));
    }
    print(m_io.err, QStringLiteral("shoulu-cli: figures not stored, lost: %1\n").arg(names.join(QStringLiteral(", "))));
    return false;
}

} // namespace shoulu::cli
