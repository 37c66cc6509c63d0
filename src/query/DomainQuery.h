#pragma once

#include "engines/EngineCatalogue.h"
#include "engines/Reading.h"
#include "fetch/ProxySetting.h"
#include "query/BatchCooldown.h"
#include "query/QueryState.h"
#include "store/ResultRow.h"
#include "store/StoreWriter.h"
#include "util/Language.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace shoulu {

class DomainList;
class ResultRows;
class Tmyhttpget;
class CookieJar;
class PageSink;
struct Reply;

// One reading per catalogue engine, in catalogue order; engines switched off read "off".
using EngineReadings = QList<Reading>;

// Asks the seven engines about a domain and turns their replies into one stored row.
// A run is a single query (startSingle) or a batch (beginRun, then startDomain per domain,
// driven by BatchScheduler). Every started fetch is tallied exactly once, so a run always
// ends: runFinished() follows the last reply and its row's commit (or its giving up), or the
// first error the store cannot recover from.
// Rows are committed by a StoreWriter of the same file, off this thread; rowCommitted() follows
// each commit.
class DomainQuery : public QObject
{
    Q_OBJECT

public:
    // Starts one fetch; the default calls GetString(). Tests swap it to make a start fail.
    using FetchStarter = std::function<void(Tmyhttpget& fetch)>;

    struct SingleStart
    {
        bool started = false;
        QStringList domainList; // the stored list after the typed domain was added
    };

    // Engines answer a browser's language with the Chinese pages the rules read.
    static constexpr const char* AcceptLanguage = "zh-CN,zh;q=0.9";

    DomainQuery(DomainList& domains, ResultRows& rows, EngineCatalogue catalogue, QObject* parent = nullptr);
    ~DomainQuery() override;

    const QueryState& state() const { return m_state; }
    bool isBusy() const { return m_state.Busy; }
    const EngineCatalogue& catalogue() const { return m_catalogue; }
    // The words of its status and error texts; Chinese unless told.
    void setLanguage(Language language) { m_language = language; }
    Language language() const { return m_language; }
    // Replies one domain waits for: one per engine that is switched on.
    int repliesPerDomain() const { return int(m_asked.size()); }
    void setFetchStarter(FetchStarter starter);
    // Where each page read goes besides its reading; null (the default) keeps none. Not owned.
    void setPageSink(PageSink* sink) { m_pageSink = sink; }
    void setStoreTiming(const StoreWriter::Timing& timing);
    // The proxies of every later fetch; until set, each fetch takes the system's at its start.
    void setProxy(const ProxySetting& proxy) { m_proxy = proxy; }

    // Whether rows can be stored: false on a file opened read-only; storeError() says why.
    bool canStore() const { return m_writer != nullptr; }
    // Why a query is refused when rows cannot be stored, for the user.
    QString cannotStoreText() const;
    // Rows handed to the store and not yet committed (nor given up).
    bool hasUnstoredRows() const { return !m_unstored.empty(); }
    // Stops storing at once, no retry awaited; the domains whose figures were not stored, this
    // one's and earlier ones given up, in order.
    QStringList finishStoring();

    // The "查询" button: refused (nothing changes) while a run is busy. `typed` is trimmed,
    // otherwise used as given (callers apply checkDomain); `boxItems` are the domain box's items.
    SingleStart startSingle(const QString& typed, const QStringList& boxItems);

    // A batch: resets the tally for `expectedReplies` and marks the run busy.
    void beginRun(int expectedReplies);

    // What a run's readings came to, for its closing summary.
    struct RunTally
    {
        int domains = 0;
        std::map<ReadingStatus, int> readings;
    };
    const RunTally& runTally() const { return m_tally; }

    // How far the run has come, for a progress line: domains whose replies are all in, of
    // those the run will ask; replies in, of those expected; engines asked and not yet answered.
    struct Progress
    {
        int domainsDone = 0;
        int domains = 0;
        int replies = 0;
        int expectedReplies = 0;
        std::vector<int> awaited; // catalogue positions, in catalogue order
    };
    Progress progress() const;
    // A batch starts no further domain: the run waits only for the replies already asked for,
    // stores their rows and ends, skipping the retries of rested engines. The summary says so.
    void stopStarting();
    // Starts the seven fetches of one domain, trimmed, within the current run.
    void startDomain(const QString& domain);

    // A batch leaves an engine that blocks alone for a while (a single query asks every engine).
    BatchCooldown& cooldown() { return m_cooldown; }
    const BatchCooldown& cooldown() const { return m_cooldown; }
    // After retriesDue(): asks again the engines whose readings of the next stored row were
    // skipped while they rested; false when none is due.
    bool startNextRetry();

Q_SIGNALS:
    void statusChanged(const QString& text);
    void gaugeChanged(int maximum, int position);
    // A domain's row is in the file, as stored: the readings are one per engine asked, by key.
    void rowCommitted(const shoulu::ResultRow& row);
    // The last row handed to the store is committed or given up.
    void rowsSettled();
    // The history list should show the latest rows again.
    void historyRefreshRequested();
    // Something went wrong while handling a reply or starting the run; the run goes on.
    void errorOccurred(const QString& message);
    void runFinished();
    // A batch's replies are all in, and readings skipped in a cool-down wait for startNextRetry().
    void retriesDue();
    // A stored row's skipped readings were asked again and replaced by these.
    void readingsRetried(const QString& domain, const QList<shoulu::EngineReading>& readings);

private:
    struct PendingDomain
    {
        QString domain;
        shoulu::EngineCounts counts {};
        EngineReadings readings;
        int replies = 0;
        // A retry of the skipped readings of a stored row: the row and the engines asked.
        qint64 rowId = 0;
        std::vector<int> retried;
        std::set<int> awaited; // engines fetched and not yet answered
    };

    void getstr(Tmyhttpget* sender, quint64 ticket, const QByteArray& page);
    void geterror(Tmyhttpget* sender, quint64 ticket);
    void record(Tmyhttpget* sender, quint64 ticket, Reply reply);
    void exitth(quint64 ticket);
    void exitRetry(std::map<quint64, PendingDomain>::iterator it);
    void startFetch(const QByteArray& url, int engineIndex, quint64 ticket);
    std::shared_ptr<CookieJar> cookiesFor(int engineIndex);
    QString finishedText(const QString& domain, const EngineReadings& readings) const;
    QString summaryText() const;
    QList<EngineReading> storedReadings(const EngineReadings& readings) const;
    void openStore(const QString& path);
    void rowStored(quint64 ticket, const shoulu::ResultRow& row);
    void rowWaiting(quint64 ticket, const QString& domain, const QString& error, int pauseMs);
    void rowNotStored(quint64 ticket, const QString& domain, const QString& error, shoulu::StoreFailure kind);
    void settle(quint64 ticket);
    void finishRunIfDone();
    void stopRun(const QString& why);

    DomainList& m_domains;
    std::unique_ptr<StoreWriter> m_writer;
    QString m_storeError;
    std::map<quint64, QString> m_unstored; // by ticket: rows handed to the writer, by domain
    std::map<quint64, EngineReadings> m_storing; // by ticket: a batch's readings until their row is stored
    std::set<quint64> m_retried; // tickets whose readings replace those of a stored row
    QStringList m_lost; // domains whose rows were given up
    bool m_waitShown = false; // the status says a row waits for the file
    EngineCatalogue m_catalogue;
    Language m_language = Language::Chinese;
    std::vector<int> m_asked; // catalogue positions of the engines switched on
    std::map<int, std::shared_ptr<CookieJar>> m_cookies; // per engine, for the query's life
    FetchStarter m_fetchStarter;
    PageSink* m_pageSink = nullptr;
    std::optional<ProxySetting> m_proxy;
    QueryState m_state;
    std::map<quint64, PendingDomain> m_pending; // by ticket: replies never mix across domains
    RunTally m_tally;
    BatchCooldown m_cooldown;
    bool m_single = false; // the run is one typed domain, not a batch
    bool m_stopping = false; // the batch starts no further domain
    int m_runDomains = 0;
    int m_startedDomains = 0;
    quint64 m_nextTicket = 1;
    quint64 m_currentTicket = 0;
};

} // namespace shoulu
