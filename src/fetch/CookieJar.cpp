#include "fetch/CookieJar.h"

#include <curl/curl.h>

#include <array>
#include <mutex>

namespace shoulu {

struct CookieJar::Impl
{
    CURLSH* share = nullptr;
    // One lock per kind of shared data libcurl may ask for.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self)
    {
        static_cast<Impl*>(self)->locks.at(std::size_t(data)).lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* self)
    {
        static_cast<Impl*>(self)->locks.at(std::size_t(data)).unlock();
    }
};

CookieJar::CookieJar()
    : m_impl(std::make_unique<Impl>())
{
    m_impl->share = curl_share_init();
    if (m_impl->share) {
        curl_share_setopt(m_impl->share, CURLSHOPT_LOCKFUNC, &Impl::lock);
        curl_share_setopt(m_impl->share, CURLSHOPT_UNLOCKFUNC, &Impl::unlock);
        curl_share_setopt(m_impl->share, CURLSHOPT_USERDATA, m_impl.get());
        curl_share_setopt(m_impl->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    }
}

CookieJar::~CookieJar()
{
    if (m_impl->share) {
        curl_share_cleanup(m_impl->share);
    }
}

void* CookieJar::shareHandle() const
{
    return m_impl->share;
}

} // namespace shoulu
