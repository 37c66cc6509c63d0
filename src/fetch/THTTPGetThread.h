#pragma once

#include "fetch/CookieJar.h"
#include "fetch/FetchLimits.h"
#include "fetch/HTTPGet.h"
#include "fetch/ProxySetting.h"

#include <QByteArray>

#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

namespace shoulu {

// One fetch on a thread of its own. THTTPGet::GetString creates and starts it; an OnProgress
// handler receives it as sender. It hands progress and completion to the component's thread
// and waits there until they are served, or until it is detached (nothing is delivered then).
class THTTPGetThread : public std::enable_shared_from_this<THTTPGetThread>
{
public:
    // Copies taken when the fetch starts; the component's later changes do not reach it.
    struct Settings
    {
        QByteArray URL;
        QByteArray Agent;
        QByteArray AcceptTypes;
        bool UseCache = false;
        QByteArray UserName;
        QByteArray Password;
        QByteArray Referer;
        QByteArray AcceptLanguage;
        std::shared_ptr<CookieJar> Cookies;
        std::optional<ProxySetting> Proxy;
        QStringList RedirectHosts;
        THTTPGet::TOnProgressEvent OnProgress;
        FetchLimits limits;
    };

    // Starts the worker for the component (which must outlive it or detach it).
    // Throws std::runtime_error when no thread can be started.
    static std::shared_ptr<THTTPGetThread> start(THTTPGet* component, Settings settings);

    // Thread-safe: stops the transfer at once (mid-connect or mid-read) and marks it failed.
    void Abort();
    // Thread-safe: cuts the worker off its component; a hand-over it waits for is dropped.
    void detach();

    // Content-Length of the reply (0 when it has none), and body bytes received so far.
    qint32 TotalSize() const { return m_totalSize.load(); }
    qint32 Readed() const { return m_readed.load(); }

    // Workers whose thread has not ended yet, across the process.
    static int runningCount();
    // Waits until every worker thread has ended and is joined; false on time-out.
    static bool waitForAll(int timeoutMs);
    // Aborts and detaches every worker, then joins their threads. Runs by itself when the
    // QCoreApplication is destroyed and at process exit.
    static void shutdownAll();

    ~THTTPGetThread();

private:
    THTTPGetThread(THTTPGet* component, Settings settings);
    friend class THTTPGet;
    enum class Call { None, Progress, Completion };

    void Execute();
    bool transfer(); // true: a page to deliver (m_facts says whether it was cut short)
    void setOptions(CURL* handle);
    // Asks `target`, then each redirect's target in turn while it may be followed.
    CURLcode drive(CURLM* multi, CURL* handle, QByteArray target);
    CURLcode perform(CURLM* multi, CURL* handle);
    // After recordFacts: whether what arrived is a page, and whether it was cut short.
    bool classifyEnd(CURLcode result);
    bool redirectAllowed(const QByteArray& url) const;
    size_t onBody(const char* data, size_t size);
    void recordFacts(CURL* handle, CURLcode result);
    // Worker side of the hand-over: queues the call to the component's thread and waits until
    // it has been served. False when detached (the call is dropped).
    bool handOver(Call call);
    // Component's thread: runs the queued call, if the worker is still attached.
    void serveHandOver();

    static size_t headerCallback(char* data, size_t size, size_t count, void* self);
    static size_t writeCallback(char* data, size_t size, size_t count, void* self);
    static int progressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    const Settings m_settings;

    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_success { false };
    std::atomic<qint32> m_totalSize { 0 };
    std::atomic<qint32> m_readed { 0 };
    QByteArray m_body; // worker thread only until completion, then read by the component's thread
    bool m_tooLarge = false;
    qint64 m_headerBytes = 0; // of the response whose head is arriving
    bool m_headComplete = false;
    bool m_headTooLarge = false;
    Reply m_facts; // worker thread only until completion
    std::atomic<bool> m_progressFailed { false };
    CURL* m_easy = nullptr; // worker thread only

    // Guards the hand-over state and the component pointer.
    std::mutex m_mutex;
    std::condition_variable m_served;
    THTTPGet* m_component;
    bool m_detached = false;
    Call m_pending = Call::None;
    quint64 m_postedTicket = 0;
    quint64 m_servedTicket = 0;

    // Guards the multi handle Abort wakes; it is gone once the transfer has ended.
    std::mutex m_curlMutex;
    CURLM* m_multi = nullptr;
};

} // namespace shoulu
