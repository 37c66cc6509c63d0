#pragma once

#include "engines/EngineCatalogue.h"
#include "engines/Reading.h"
#include "query/QueryState.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

namespace shoulu {

class DomainList;
class ResultRows;
class Tmyhttpget;
class CookieJar;
struct FetchedPage;
struct ReplyFacts;

// One reading per catalogue engine, in catalogue order; engines switched off read "off".
using EngineReadings = QList<Reading>;

// Asks the seven engines about a domain and turns their replies into one stored row.
// A run is a single query (startSingle) or a batch (beginRun, then startDomain per domain,
// driven by BatchScheduler). Every started fetch is tallied exactly once, so a run always
// ends: runFinished() follows the last reply.
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
    // Replies one domain waits for: one per engine that is switched on.
    int repliesPerDomain() const { return int(m_asked.size()); }
    void setFetchStarter(FetchStarter starter);

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
    // Starts the seven fetches of one domain, trimmed, within the current run.
    void startDomain(const QString& domain);

Q_SIGNALS:
    void statusChanged(const QString& text);
    void gaugeChanged(int maximum, int position);
    // A domain's seventh reply is in and its row is stored.
    // The readings are those stored with the row: one per engine asked, by key.
    void rowCommitted(const QString& domain, const QDateTime& queryTime, const shoulu::EngineCounts& counts,
        const QList<shoulu::EngineReading>& readings);
    // The history list should show the latest rows again.
    void historyRefreshRequested();
    // Something went wrong while handling a reply or starting the run; the run goes on.
    void errorOccurred(const QString& message);
    void runFinished();

private:
    struct PendingDomain
    {
        QString domain;
        shoulu::EngineCounts counts {};
        EngineReadings readings;
        int replies = 0;
    };

    void getstr(Tmyhttpget* sender, quint64 ticket, const QByteArray& page);
    void geterror(Tmyhttpget* sender, quint64 ticket);
    void record(Tmyhttpget* sender, quint64 ticket, const FetchedPage& reply);
    void exitth(quint64 ticket);
    void startFetch(const QByteArray& url, int engineIndex, quint64 ticket);
    std::shared_ptr<CookieJar> cookiesFor(int engineIndex);
    QString finishedText(const QString& domain, const EngineReadings& readings) const;
    QString summaryText() const;
    QList<EngineReading> storedReadings(const EngineReadings& readings) const;

    DomainList& m_domains;
    ResultRows& m_rows;
    EngineCatalogue m_catalogue;
    std::vector<int> m_asked; // catalogue positions of the engines switched on
    std::map<int, std::shared_ptr<CookieJar>> m_cookies; // per engine, for the query's life
    FetchStarter m_fetchStarter;
    QueryState m_state;
    std::map<quint64, PendingDomain> m_pending; // by ticket: replies never mix across domains
    RunTally m_tally;
    bool m_single = false; // the run is one typed domain, not a batch
    quint64 m_nextTicket = 1;
    quint64 m_currentTicket = 0;
};

} // namespace shoulu
