#pragma once

#include "query/QueryState.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>

namespace shoulu {

class DomainList;
class ResultRows;
class Tmyhttpget;

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

    static constexpr const char* Agent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)";

    DomainQuery(DomainList& domains, ResultRows& rows, QStringList engineUrls, QObject* parent = nullptr);
    ~DomainQuery() override;

    const QueryState& state() const { return m_state; }
    bool isBusy() const { return m_state.Busy; }
    const QStringList& engineUrls() const { return m_engineUrls; }
    void setFetchStarter(FetchStarter starter);

    // The "查询" button: refused (nothing changes) while a run is busy. `typed` is used as
    // given, untrimmed; `boxItems` are the domain box's items.
    SingleStart startSingle(const QString& typed, const QStringList& boxItems);

    // A batch: resets the tally for `expectedReplies` and marks the run busy.
    void beginRun(int expectedReplies);
    // Starts the seven fetches of one domain within the current run.
    void startDomain(const QString& domain);

    // Starts one fetch of `url` for `domain` and engine `engineIndex`.
    void gotourl(const QByteArray& url, const QString& domain, int engineIndex);

Q_SIGNALS:
    void statusChanged(const QString& text);
    void gaugeChanged(int maximum, int position);
    // A domain's seventh reply is in and its row is stored.
    void rowCommitted(const QString& domain, const QDateTime& queryTime, const shoulu::EngineCounts& counts);
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
        int replies = 0;
    };

    void getstr(Tmyhttpget* sender, quint64 ticket, const QByteArray& page);
    void geterror(Tmyhttpget* sender, quint64 ticket);
    void exitth(quint64 ticket);
    void startFetch(const QByteArray& url, const QString& domain, int engineIndex, quint64 ticket);

    DomainList& m_domains;
    ResultRows& m_rows;
    QStringList m_engineUrls;
    FetchStarter m_fetchStarter;
    QueryState m_state;
    std::map<quint64, PendingDomain> m_pending; // by ticket: replies never mix across domains
    quint64 m_nextTicket = 1;
    quint64 m_currentTicket = 0;
};

} // namespace shoulu
