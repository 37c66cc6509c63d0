#pragma once

#include <QByteArray>

namespace shoulu {

// The proxies a fetch goes through, fixed before its worker starts so that no worker thread
// reads the environment (which another thread may be changing).
struct ProxySetting
{
    QByteArray http; // proxy for http:// requests; empty: direct
    QByteArray https; // proxy for https:// requests; empty: direct
    QByteArray noProxy; // hosts reached directly, listed as no_proxy lists them

    // Every request through `url`.
    static ProxySetting via(const QByteArray& url);
    // The system's proxy settings: the variables libcurl itself would read, read now.
    static ProxySetting fromEnvironment();

    // The proxy for a request to `url`, chosen by its scheme as libcurl chooses.
    const QByteArray& proxyFor(const QByteArray& url) const;
};

} // namespace shoulu
