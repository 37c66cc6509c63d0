#pragma once

#include "engines/Reading.h"
#include "store/CommitRetry.h"
#include "store/ResultRow.h"
#include "store/SettingsDatabase.h"
#include "store/StoreFailure.h"
#include "util/EngineCounts.h"
#include "util/Result.h"
#include "util/SerialWorker.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace shoulu {

class ResultRows;

// A finished query's row on its way to the file.
struct RowToStore
{
    quint64 ticket = 0; // the caller's name for the row, given back with its outcome
    QString domain;
    QDateTime queryTime;
    EngineCounts counts {};
    QList<EngineReading> readings;
    qint64 replacesRow = 0; // nonzero: the readings replace those of this stored row (counts unused)
};

// Commits rows one at a time, in the order given, on a thread and a connection of its own, so
// that a commit's disk sync never holds up the thread that hands the rows in. A row that finds
// the file locked stays queued and is tried again after growing pauses (CommitRetry); rows
// behind it wait, so the order holds. Each outcome comes back as a signal, emitted on the
// thread that made the writer (which needs an event loop).
//   auto writer = StoreWriter::open(path); connect(..., &StoreWriter::committed, ...); (*writer)->store(row);
class StoreWriter : public QObject
{
    Q_OBJECT

public:
    struct Timing
    {
        int busyTimeoutMs = SettingsDatabase::BusyTimeoutMs;
        CommitRetry retry;
    };

    // Opens the file for writing (Access::Write) and starts the thread.
    static Result<std::unique_ptr<StoreWriter>> open(const QString& path);
    ~StoreWriter() override;

    void setTiming(const Timing& timing);
    void store(RowToStore row);
    // Ends the thread without further attempts (a lock wait under way is cut short) and returns
    // the rows never stored, in order, those that failed but were not yet announced included.
    // Outcomes not yet announced are not announced afterwards. Rows handed in afterwards are
    // kept, never stored.
    QList<RowToStore> stop();

Q_SIGNALS:
    // The row is in the file: its commit, disk sync included, is done.
    void committed(quint64 ticket, const shoulu::ResultRow& row);
    // The file is locked; the row is kept and tried again after `pauseMs`.
    void waiting(quint64 ticket, const QString& domain, const QString& error, int pauseMs);
    // The row was not stored and will not be tried again.
    void failed(quint64 ticket, const QString& domain, const QString& error, shoulu::StoreFailure kind);

private:
    struct Outcome
    {
        enum class Kind { Committed, Waiting, Failed } kind = Kind::Committed;
        RowToStore row;
        ResultRow stored; // Committed
        QString error; // Waiting, Failed
        int pauseMs = 0; // Waiting
        StoreFailure failure = StoreFailure::Transient; // Failed
    };

    explicit StoreWriter(std::unique_ptr<SettingsDatabase> db);
    // On the writer's thread: one attempt at the first row; a pause when it is to be tried again.
    std::optional<int> commit(const RowToStore& row);
    void announce(Outcome& outcome); // on the thread that made the writer

    std::unique_ptr<SettingsDatabase> m_db; // used on the writer's thread once it runs
    std::unique_ptr<ResultRows> m_rows;
    Timing m_timing; // the writer's thread's once it runs
    int m_failures = 0; // of the first queued row
    QElapsedTimer m_sinceFirstFailure;
    SerialWorker<RowToStore, Outcome> m_worker; // last: its thread uses everything above
};

} // namespace shoulu
