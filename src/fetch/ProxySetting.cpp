#include "fetch/ProxySetting.h"

namespace shoulu {

ProxySetting ProxySetting::via(const QByteArray& url)
{
    return ProxySetting { url, url, {} };
}

const QByteArray& ProxySetting::proxyFor(const QByteArray& url) const
{
    return url.left(8).toLower() == "https://" ? https : http;
}

} // namespace shoulu
