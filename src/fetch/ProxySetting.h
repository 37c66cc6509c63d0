#pragma once

#include <QByteArray>

namespace shoulu {

// The proxies a fetch goes through when it is handed them (tests hand their local engines'
// server): no worker thread then reads the environment, which a test may be changing.
struct ProxySetting
{
    QByteArray http; // proxy for http:// requests; empty: direct
    QByteArray https; // proxy for https:// requests; empty: direct
    QByteArray noProxy; // hosts reached directly, listed as no_proxy lists them

    // Every request through `url`.
    static ProxySetting via(const QByteArray& url);

    // The proxy for a request to `url`, chosen by its scheme as libcurl chooses.
    const QByteArray& proxyFor(const QByteArray& url) const;
};

} // namespace shoulu
