#pragma once

#include "cli/Command.h"
#include "store/ResultRow.h"

#include <QObject>
#include <QString>

class QTimer;

#include <memory>
#include <vector>

namespace shoulu {
class AppContext;
class ArchiveWriter;
class BatchScheduler;
class DomainList;
class ResultRows;
class DomainQuery;
} // namespace shoulu

namespace shoulu::cli {

// The store and query objects a query-running command needs, opened from the --db path;
// progress and errors go to the command's streams.
// Names on stderr each domain and engine whose reading gave no figure; true when there was one.
bool reportMissingFigures(const std::vector<ResultRow>& rows, Streams& io);
// True when every engine the row's query asked failed without any HTTP answer (no name lookup,
// refused, timed out, no proxy): the machine is offline rather than the engines unwilling.
bool noEngineReached(const ResultRow& row);

class QueryRun
{
public:
    ~QueryRun();

    // Prints the cause and returns null when the database cannot be opened.
    static std::unique_ptr<QueryRun> open(const GlobalOptions& options, Streams& io);

    DomainList& domains();
    ResultRows& rows();
    DomainQuery& query();
    BatchScheduler& batch();
    // The batch's clock; the caller connects it to batch().tick().
    QTimer& batchTimer();
    // Every page the query reads goes to the page archive; its failures are reported, not counted.
    ArchiveWriter& archive();

    // Spins an event loop until the run's last reply is in and every row is stored or given up
    // (a locked file is waited for), then names on stderr the domains whose figures were lost.
    // True when none was.
    bool waitUntilFinished();
    // Errors reported while the run went on (failed commits and the like).
    int errorCount() const { return m_errors; }

private:
    QueryRun(Streams& io);

    Streams& m_io;
    std::unique_ptr<AppContext> m_context;
    // What the archive says from its own thread is printed on this one.
    QObject m_receiver;
    int m_errors = 0;
};

} // namespace shoulu::cli
