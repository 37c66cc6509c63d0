#include "fetch/HTTPGet.h"

#include "fetch/THTTPGetThread.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QPointer>

#include <stdexcept>

namespace shoulu {

THTTPGet::THTTPGet(QObject* owner)
    : QObject(owner)
    , Agent(QStringLiteral("THTTPGet/1.0"))
    , AcceptTypes(QStringLiteral("*/*"))
{ }

THTTPGet::~THTTPGet()
{
    if (m_worker) {
        m_worker->Abort();
        m_worker->detach();
    }
}

void THTTPGet::GetString()
{
    if (m_worker) {
        return;
    }
    if (!QCoreApplication::instance()) {
        throw std::runtime_error("THTTPGet::GetString needs a QCoreApplication to deliver its reply");
    }
    THTTPGetThread::Settings settings;
    settings.URL = URL;
    settings.Agent = Agent.toUtf8();
    settings.AcceptTypes = AcceptTypes.toUtf8();
    settings.UseCache = UseCache;
    settings.UserName = UserName.toUtf8();
    settings.Password = Password.toUtf8();
    settings.Referer = Referer.toUtf8();
    settings.AcceptLanguage = AcceptLanguage.toUtf8();
    settings.Cookies = Cookies;
    settings.Proxy = Proxy;
    settings.RedirectHosts = RedirectHosts;
    settings.OnProgress = OnProgress;
    settings.limits = m_limits;
    m_requestUrl = URL;
    m_worker = THTTPGetThread::start(this, std::move(settings));
}

void THTTPGet::Abort()
{
    if (m_worker) {
        m_worker->Abort();
    }
}

bool THTTPGet::isRunning() const
{
    return m_worker != nullptr;
}

void THTTPGet::serveHandOver()
{
    // The handler may release this component; only the local reference is touched afterwards.
    if (const std::shared_ptr<THTTPGetThread> worker = m_worker) {
        worker->serveHandOver();
    }
}

void THTTPGet::ThreadDone(bool success, const QByteArray& body, const Reply& facts)
{
    const QPointer<THTTPGet> alive(this);
    m_reply = facts;
    m_reply.requestUrl = m_requestUrl;
    m_reply.arrived = success;
    m_reply.body = success ? body : QByteArray();
    m_reply.fetchedAt = QDateTime::currentDateTime();
    try {
        // Copies: a handler that deletes this component must not destroy itself mid-call.
        if (success) {
            if (const TOnDoneStringEvent handler = OnDoneString) {
                handler(this, body);
            }
        } else if (const TNotifyEvent handler = OnError) {
            handler(this);
        }
    } catch (const std::exception& e) {
        qWarning() << "THTTPGet: reply handler threw:" << e.what();
    } catch (...) {
        qWarning() << "THTTPGet: reply handler threw";
    }
    if (alive) {
        m_worker.reset();
    }
}

} // namespace shoulu
