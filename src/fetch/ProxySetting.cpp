#include "fetch/ProxySetting.h"

#include <cstdlib>
#include <initializer_list>
#include <optional>

namespace shoulu {

namespace {

// The first of the variables that is set, even to nothing: libcurl stops at a set empty one.
std::optional<QByteArray> firstSet(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        if (const char* value = std::getenv(name)) {
            return QByteArray(value);
        }
    }
    return std::nullopt;
}

} // namespace

ProxySetting ProxySetting::via(const QByteArray& url)
{
    return ProxySetting { url, url, {} };
}

ProxySetting ProxySetting::fromEnvironment()
{
    // Upper-case HTTP_PROXY is left out on purpose, as libcurl leaves it out (CGI programs get a
    // client's "Proxy:" header under that name).
    const QByteArray all = firstSet({ "all_proxy", "ALL_PROXY" }).value_or(QByteArray());
    return ProxySetting {
        firstSet({ "http_proxy" }).value_or(all),
        firstSet({ "https_proxy", "HTTPS_PROXY" }).value_or(all),
        firstSet({ "no_proxy", "NO_PROXY" }).value_or(QByteArray()),
    };
}

const QByteArray& ProxySetting::proxyFor(const QByteArray& url) const
{
    return url.left(8).toLower() == "https://" ? https : http;
}

} // namespace shoulu
