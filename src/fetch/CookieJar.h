#pragma once

#include <memory>

namespace shoulu {

// Cookies shared by the fetches of one engine, in memory for the life of the program and never
// written to disk: engines hand a client a cookie on its first visit and expect it back.
class CookieJar
{
public:
    CookieJar();
    ~CookieJar();
    CookieJar(const CookieJar&) = delete;
    CookieJar& operator=(const CookieJar&) = delete;

    // The libcurl share handle (CURLSH*) to set on a transfer; safe across worker threads.
    void* shareHandle() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace shoulu
