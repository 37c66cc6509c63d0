#pragma once

#include "fetch/FetchLimits.h"
#include "fetch/ProxySetting.h"
#include "util/Reply.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace shoulu {

class THTTPGetThread;
class CookieJar;

// Fetches one URL with an HTTP GET on a worker thread of its own and reports back on the
// thread that owns the component (its event loop must keep running):
//     auto* get = new THTTPGet(owner);
//     get->URL = "http://host/path";
//     get->OnDoneString = [](THTTPGet* sender, const QByteArray& body) { ... };
//     get->OnError = [](THTTPGet* sender) { ... };
//     get->GetString();
// Every started fetch ends in exactly one OnDoneString or OnError, unless the component
// is destroyed first, in which case nothing at all is delivered. A reply handler may release
// its sender (deleteLater() or delete); an exception escaping a handler is caught and logged.
class THTTPGet : public QObject
{
    Q_OBJECT

public:
    using TOnProgressEvent = std::function<void(THTTPGetThread* sender, qint32 totalSize, qint32 readed)>;
    using TOnDoneStringEvent = std::function<void(THTTPGet* sender, const QByteArray& result)>;
    using TNotifyEvent = std::function<void(THTTPGet* sender)>;

    explicit THTTPGet(QObject* owner = nullptr);
    ~THTTPGet() override;

    // Plain stored properties; they matter only to the next GetString().
    QByteArray URL; // bytes as they go on the wire; split by SplitUrl
    QString Agent; // User-Agent; empty: none sent
    QString AcceptTypes; // "*/*" by default
    bool UseCache = false; // false: no-cache request headers
    QString UserName;
    QString Password;
    QString Referer;
    QString AcceptLanguage; // empty: none sent
    std::shared_ptr<CookieJar> Cookies; // null: no cookies kept
    // Null: the system's proxy variables, read by libcurl for each connection as ever.
    std::optional<ProxySetting> Proxy;
    // Redirects are followed only to these hosts and their subdomains (any letter case); a
    // redirect elsewhere ends the fetch as a failure with reply().refusedRedirect set. Empty:
    // any host.
    QStringList RedirectHosts;

    TOnProgressEvent OnProgress; // after each piece of body read; throwing from it fails the fetch
    TOnDoneStringEvent OnDoneString;
    TNotifyEvent OnError;

    // Starts a fetch and returns at once; ignored while a fetch runs (also from inside the
    // component's own handlers). Throws std::runtime_error when no worker can be started or
    // there is no QCoreApplication to deliver the reply; the component then stays idle and no
    // event follows.
    void GetString();
    // Asks a running worker to stop now (it is interrupted mid-connect or mid-read) and marks
    // it failed: OnError follows. Does nothing when idle.
    void Abort();
    bool isRunning() const;
    // The last ended fetch: its URL, what the server said, the body when one came; valid inside
    // OnDoneString and OnError. Engine, domain and route are left for the caller to name.
    const Reply& reply() const { return m_reply; }

    // Time-outs and body cap of the next fetch; the defaults suit the engines' pages.
    void setLimits(const FetchLimits& limits) { m_limits = limits; }
    const FetchLimits& limits() const { return m_limits; }

private Q_SLOTS:
    void serveHandOver();

private:
    void ThreadDone(bool success, const QByteArray& body, const Reply& facts);

    std::shared_ptr<THTTPGetThread> m_worker;
    Reply m_reply;
    QByteArray m_requestUrl; // URL as the running fetch took it
    FetchLimits m_limits;
    friend class THTTPGetThread;
};

// A fetch that also carries the engine it was started for.
class Tmyhttpget : public THTTPGet
{
    Q_OBJECT

public:
    using THTTPGet::THTTPGet;

    int EngineIndex = 0;
};

} // namespace shoulu
