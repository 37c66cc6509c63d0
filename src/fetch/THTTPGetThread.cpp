#include "fetch/THTTPGetThread.h"

#include "fetch/RequestUrl.h"
#include "fetch/SplitUrl.h"
#include "fetch/WorkerRegistry.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QUrl>

#include <algorithm>
#include <limits>

#if defined(__SANITIZE_THREAD__)
#define SHOULU_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SHOULU_TSAN 1
#endif
#endif
#ifdef SHOULU_TSAN
extern "C" void __tsan_ignore_thread_begin();
extern "C" void __tsan_ignore_thread_end();
#endif

namespace shoulu {

namespace {

// Qt guards its event queues with locks ThreadSanitizer cannot see (Qt is not built with it),
// so two threads posting look like a race on the queue's memory. What posting does inside Qt
// is kept out of its view; our own hand-over state is guarded by std::mutex, which it does see.
class QtInternalsHidden
{
public:
#ifdef SHOULU_TSAN
    QtInternalsHidden()
    {
        __tsan_ignore_thread_begin();
    }
    ~QtInternalsHidden()
    {
        __tsan_ignore_thread_end();
    }
#endif
};

// Abort wakes the transfer through curl_multi_wakeup; this poll only bounds how long a stop
// request could go unseen should a wake-up ever be lost.
constexpr int kStopPollMs = 100;

qint32 clampedLength(curl_off_t length)
{
    return length > 0 && length <= std::numeric_limits<qint32>::max() ? qint32(length) : 0;
}

// CURL and CURLM are both void: one deleter each.
struct EasyCleanup
{
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup
{
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct UrlCleanup
{
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct ListCleanup
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// Null when out of memory.
std::unique_ptr<curl_slist, ListCleanup> requestHeaders(const THTTPGetThread::Settings& settings)
{
    // "Name:" with nothing after it removes a header libcurl would otherwise add.
    const QByteArray accept
        = settings.AcceptTypes.isEmpty() ? QByteArray("Accept:") : "Accept: " + settings.AcceptTypes;
    std::unique_ptr<curl_slist, ListCleanup> headers(curl_slist_append(nullptr, accept.constData()));
    const QList<const char*> cacheHeaders = settings.UseCache
        ? QList<const char*> { "Pragma:" }
        : QList<const char*> { "Cache-Control: no-cache", "Pragma: no-cache" };
    QList<QByteArray> extraHeaders;
    if (!settings.AcceptLanguage.isEmpty()) {
        extraHeaders.append("Accept-Language: " + settings.AcceptLanguage);
    }
    for (const QByteArray& header : extraHeaders) {
        if (!headers || !curl_slist_append(headers.get(), header.constData())) {
            return nullptr;
        }
    }
    for (const char* header : cacheHeaders) {
        // Appending returns the list's head, or null (the list untouched) when out of memory.
        if (!headers || !curl_slist_append(headers.get(), header)) {
            return nullptr;
        }
    }
    return headers;
}

} // namespace

THTTPGetThread::THTTPGetThread(THTTPGet* component, Settings settings)
    : m_settings(std::move(settings))
    , m_component(component)
{ }

THTTPGetThread::~THTTPGetThread() = default;

std::shared_ptr<THTTPGetThread> THTTPGetThread::start(THTTPGet* component, Settings settings)
{
    std::shared_ptr<THTTPGetThread> worker(new THTTPGetThread(component, std::move(settings)));
    WorkerRegistry::instance().launch(worker, [](THTTPGetThread& self) { self.Execute(); });
    return worker;
}

void THTTPGetThread::Abort()
{
    m_stop = true;
    m_success = false;
    std::lock_guard lock(m_curlMutex);
    if (m_multi) {
        curl_multi_wakeup(m_multi);
    }
}

void THTTPGetThread::detach()
{
    {
        std::lock_guard lock(m_mutex);
        m_detached = true;
        m_component = nullptr;
    }
    m_served.notify_all();
}

int THTTPGetThread::runningCount()
{
    return WorkerRegistry::instance().running();
}

bool THTTPGetThread::waitForAll(int timeoutMs)
{
    return WorkerRegistry::instance().waitForAll(timeoutMs);
}

void THTTPGetThread::shutdownAll()
{
    WorkerRegistry::instance().shutdown();
}

void THTTPGetThread::Execute()
{
    bool success = false;
    try {
        success = transfer();
    } catch (const std::exception& e) {
        qWarning() << "fetch failed:" << e.what();
    } catch (...) {
        qWarning() << "fetch failed with an unknown exception";
    }
    m_success = success && !m_stop;
    if (!m_success && m_facts.error.isEmpty()) {
        m_facts.error = m_stop ? QStringLiteral("the fetch was stopped") : QStringLiteral("the fetch failed");
    }
    handOver(Call::Completion);
}

bool THTTPGetThread::transfer()
{
    const Result<QByteArray> url = RequestUrl(SplitUrl(m_settings.URL));
    if (!url || m_stop) {
        m_facts.error = url ? QString() : url.error();
        return false;
    }
    std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
    std::unique_ptr<CURLM, MultiCleanup> multi(curl_multi_init());
    if (!easy || !multi) {
        return false;
    }
    CURL* handle = easy.get();
    m_easy = handle;
    setOptions(handle);
    const auto headers = requestHeaders(m_settings);
    if (!headers) {
        return false;
    }
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    const CURLcode result = drive(multi.get(), handle, *url);
    recordFacts(handle, result);
    m_easy = nullptr;
    return classifyEnd(result);
}

void THTTPGetThread::setOptions(CURL* handle)
{
    // Today's engines send plain-HTTP clients on to https.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    // The path goes out as given: no "/../" folding.
    curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
    // Redirects are followed here, hop by hop, so that each target is checked before it is asked.
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    // The body is delivered byte for byte, never decompressed (and never asked to be compressed).
    curl_easy_setopt(handle, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, long(m_settings.limits.connectTimeoutMs));
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(m_settings.limits.maxBodyBytes));
    // An aborted name lookup is left to finish on its own instead of being waited for.
    curl_easy_setopt(handle, CURLOPT_QUICK_EXIT, 1L);
    if (!m_settings.Agent.isEmpty()) {
        curl_easy_setopt(handle, CURLOPT_USERAGENT, m_settings.Agent.constData());
    }
    if (!m_settings.Referer.isEmpty()) {
        curl_easy_setopt(handle, CURLOPT_REFERER, m_settings.Referer.constData());
    }
    if (!m_settings.UserName.isEmpty()) {
        curl_easy_setopt(handle, CURLOPT_USERNAME, m_settings.UserName.constData());
    }
    if (!m_settings.Password.isEmpty()) {
        curl_easy_setopt(handle, CURLOPT_PASSWORD, m_settings.Password.constData());
    }
    if (m_settings.Cookies && m_settings.Cookies->shareHandle()) {
        // An empty file name switches the cookie engine on without reading or writing a file.
        curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");
        curl_easy_setopt(handle, CURLOPT_SHARE, m_settings.Cookies->shareHandle());
    }

    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &THTTPGetThread::headerCallback);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &THTTPGetThread::writeCallback);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &THTTPGetThread::progressCallback);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
}

CURLcode THTTPGetThread::drive(CURLM* multi, CURL* handle, QByteArray target)
{
    // Abort may wake the multi handle only while it exists; the guard withdraws it on every exit.
    struct WakeTarget
    {
        THTTPGetThread& self;
        WakeTarget(THTTPGetThread& worker, CURLM* multi)
            : self(worker)
        {
            std::lock_guard lock(self.m_curlMutex);
            self.m_multi = multi;
        }
        ~WakeTarget()
        {
            std::lock_guard lock(self.m_curlMutex);
            self.m_multi = nullptr;
        }
    };
    const WakeTarget wakeTarget(*this, multi);
    QElapsedTimer clock;
    clock.start();
    CURLcode result = CURLE_OK;
    for (int hop = 0;; ++hop) {
        const qint64 left = m_settings.limits.fetchTimeoutMs - clock.elapsed();
        if (left <= 0) {
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        curl_easy_setopt(handle, CURLOPT_URL, target.constData());
        curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, long(left));
        if (m_settings.Proxy) {
            // Both set, even empty, so that libcurl does not look at the environment for this fetch.
            curl_easy_setopt(handle, CURLOPT_PROXY, m_settings.Proxy->proxyFor(target).constData());
            curl_easy_setopt(handle, CURLOPT_NOPROXY, m_settings.Proxy->noProxy.constData());
        }
        // Only the last response's body is the page.
        m_body.clear();
        m_totalSize = 0;
        m_readed = 0;
        result = perform(multi, handle);
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        const char* next = nullptr;
        if (result != CURLE_OK || m_stop || status < 300 || status > 399
            || curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &next) != CURLE_OK || !next) {
            break;
        }
        if (hop >= kMaxRedirects) {
            result = CURLE_TOO_MANY_REDIRECTS;
            break;
        }
        const QByteArray nextUrl(next);
        const QByteArray scheme = nextUrl.left(nextUrl.indexOf(':')).toLower();
        if (scheme != "http" && scheme != "https") {
            result = CURLE_UNSUPPORTED_PROTOCOL;
            break;
        }
        if (!redirectAllowed(nextUrl)) {
            m_facts.refusedRedirect = nextUrl;
            break;
        }
        target = nextUrl;
    }
    return result;
}

bool THTTPGetThread::classifyEnd(CURLcode result)
{
    if (m_stop || m_tooLarge || m_progressFailed || m_body.isEmpty() || !m_facts.refusedRedirect.isEmpty()) {
        return false;
    }
    // A reply cut short after some bytes is still delivered, marked cut short; a time-out, a
    // redirect loop or our own refusal is no page at all.
    switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_WRITE_ERROR:
    case CURLE_FILESIZE_EXCEEDED:
    case CURLE_TOO_MANY_REDIRECTS:
        return false;
    default:
        break;
    }
    m_facts.cutShort = result != CURLE_OK || (m_facts.announcedBytes >= 0 && m_body.size() < m_facts.announcedBytes);
    if (!m_facts.cutShort) {
        m_facts.error.clear();
    } else if (m_facts.error.isEmpty()) {
        m_facts.error = QStringLiteral("the connection closed before the announced end of the page");
    }
    return true;
}

CURLcode THTTPGetThread::perform(CURLM* multi, CURL* handle)
{
    m_headerBytes = 0;
    m_headComplete = false;
    if (curl_multi_add_handle(multi, handle) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    // The easy interface sleeps up to a second between checks; a multi handle driven here can
    // be woken by Abort at once.
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    bool done = false;
    while (!done && !m_stop) {
        int stillRunning = 0;
        if (curl_multi_perform(multi, &stillRunning) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (!done && curl_multi_poll(multi, nullptr, 0, kStopPollMs, nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    curl_multi_remove_handle(multi, handle);
    return result;
}

bool THTTPGetThread::redirectAllowed(const QByteArray& url) const
{
    if (m_settings.RedirectHosts.isEmpty()) {
        return true;
    }
    // Read by libcurl's own parser: the host checked is the host it would connect to.
    std::unique_ptr<CURLU, UrlCleanup> parsed(curl_url());
    char* part = nullptr;
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.constData(), 0) != CURLUE_OK
        || curl_url_get(parsed.get(), CURLUPART_HOST, &part, 0) != CURLUE_OK || !part) {
        return false;
    }
    const QString host = QString::fromUtf8(part).toLower();
    curl_free(part);
    return std::any_of(m_settings.RedirectHosts.begin(), m_settings.RedirectHosts.end(), [&](const QString& allowed) {
        const QString own = allowed.toLower();
        return host == own || host.endsWith(QLatin1Char('.') + own);
    });
}

void THTTPGetThread::recordFacts(CURL* handle, CURLcode result)
{
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    m_facts.httpStatus = int(status);
    const char* text = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &text) == CURLE_OK && text) {
        m_facts.finalUrl = QByteArray(text);
    }
    text = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &text) == CURLE_OK && text) {
        m_facts.contentType = QByteArray(text);
    }
    curl_off_t announced = -1;
    if (curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK) {
        m_facts.announcedBytes = announced >= 0 ? qint64(announced) : -1;
    }
    m_facts.receivedBytes = m_body.size();
    // libcurl refuses an overlong header line as "out of memory"; while the head is still
    // arriving that is what it means.
    const bool headTooLarge = m_headTooLarge || (result == CURLE_OUT_OF_MEMORY && !m_headComplete);
    if (!m_facts.refusedRedirect.isEmpty()) {
        m_facts.error = QStringLiteral("sent to %1").arg(QUrl::fromEncoded(m_facts.refusedRedirect).host());
    } else if (headTooLarge) {
        m_facts.error = QStringLiteral("response header too large");
    } else if (m_tooLarge) {
        m_facts.error
            = QStringLiteral("the page is larger than %1 MiB").arg(m_settings.limits.maxBodyBytes / (1024 * 1024));
    } else if (m_stop) {
        m_facts.error = QStringLiteral("the fetch was stopped");
    } else if (result != CURLE_OK) {
        m_facts.error = QString::fromUtf8(curl_easy_strerror(result));
    } else if (m_body.isEmpty()) {
        m_facts.error = QStringLiteral("the engine sent an empty page");
    }
}

size_t THTTPGetThread::headerCallback(char* data, size_t size, size_t count, void* self)
{
    auto* worker = static_cast<THTTPGetThread*>(self);
    const size_t length = size * count;
    const QByteArrayView line(data, qsizetype(length));
    if (line.startsWith("HTTP/")) {
        worker->m_headerBytes = 0; // a new head: an interim 1xx response's is done with
        worker->m_headComplete = false;
    }
    worker->m_headerBytes += qint64(length);
    if (worker->m_headerBytes > kMaxHeadBytes) {
        worker->m_headTooLarge = true;
        return 0;
    }
    if (line == "\r\n" || line == "\n") {
        worker->m_headComplete = true;
    }
    return length;
}

size_t THTTPGetThread::writeCallback(char* data, size_t size, size_t count, void* self)
{
    // Nothing may unwind through libcurl's C frames.
    try {
        return static_cast<THTTPGetThread*>(self)->onBody(data, size * count);
    } catch (...) {
        return CURL_WRITEFUNC_ERROR;
    }
}

int THTTPGetThread::progressCallback(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<THTTPGetThread*>(self)->m_stop ? 1 : 0;
}

size_t THTTPGetThread::onBody(const char* data, size_t size)
{
    if (m_stop) {
        return CURL_WRITEFUNC_ERROR;
    }
    if (qint64(m_body.size()) + qint64(size) > m_settings.limits.maxBodyBytes) {
        m_tooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    if (m_body.isEmpty()) {
        curl_off_t length = -1;
        curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        m_totalSize = clampedLength(length);
    }
    m_body.append(data, qsizetype(size));
    m_readed = qint32(std::min<qsizetype>(m_body.size(), std::numeric_limits<qint32>::max()));
    if (m_settings.OnProgress && (!handOver(Call::Progress) || m_progressFailed)) {
        return CURL_WRITEFUNC_ERROR;
    }
    return size;
}

bool THTTPGetThread::handOver(Call call)
{
    std::unique_lock lock(m_mutex);
    if (m_detached) {
        return false;
    }
    m_pending = call;
    const quint64 ticket = ++m_postedTicket;
    // Posted while the lock keeps the component from being destroyed under us; a component
    // destroyed later drops the queued call, and its detach() releases the wait below.
    bool posted = false;
    {
        [[maybe_unused]] const QtInternalsHidden hidden;
        posted = QMetaObject::invokeMethod(m_component, "serveHandOver", Qt::QueuedConnection);
    }
    if (!posted) {
        qWarning() << "THTTPGetThread: cannot reach the component's thread; reply dropped";
        return false;
    }
    m_served.wait(lock, [&] { return m_detached || m_servedTicket >= ticket; });
    return !m_detached;
}

void THTTPGetThread::serveHandOver()
{
    const std::shared_ptr<THTTPGetThread> self = shared_from_this();
    Call call = Call::None;
    quint64 ticket = 0;
    THTTPGet* component = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (m_detached || m_servedTicket >= m_postedTicket) {
            return;
        }
        call = m_pending;
        ticket = m_postedTicket;
        component = m_component;
    }
    if (call == Call::Progress) {
        try {
            m_settings.OnProgress(this, m_totalSize, m_readed);
        } catch (...) {
            // Ends the fetch as a failure; the exception goes no further than this fetch.
            m_progressFailed = true;
        }
    } else if (call == Call::Completion) {
        component->ThreadDone(m_success && !m_stop, m_body, m_facts);
    }
    {
        std::lock_guard lock(m_mutex);
        m_servedTicket = ticket;
    }
    m_served.notify_all();
}

} // namespace shoulu
