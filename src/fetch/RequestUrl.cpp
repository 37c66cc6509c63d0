#include "fetch/RequestUrl.h"

namespace shoulu {

namespace {

bool isHostByte(uchar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c >= 0x80;
}

bool breaksRequestLine(uchar c)
{
    return c <= 0x20 || c == 0x7F || c == '#';
}

} // namespace

Result<QByteArray> RequestUrl(const UrlParts& parts)
{
    if (parts.host.isEmpty()) {
        return Error { QStringLiteral("The address has no host.") };
    }
    for (const char c : parts.host) {
        if (!isHostByte(uchar(c))) {
            return Error { QStringLiteral("The host name \"%1\" is not valid.").arg(QString::fromLatin1(parts.host)) };
        }
    }
    if (parts.port < 1 || parts.port > 65535) {
        return Error { QStringLiteral("The port %1 is not valid.").arg(parts.port) };
    }
    // The default port stays implicit, as a browser would write it: a proxy sees "http://host/path".
    QByteArray url = (parts.secure ? "https://" : "http://") + parts.host;
    if (parts.port != (parts.secure ? 443 : 80)) {
        url += ':' + QByteArray::number(parts.port);
    }
    url.reserve(url.size() + parts.path.size() * 3);
    static constexpr char hex[] = "0123456789ABCDEF";
    for (const char c : parts.path) {
        const uchar byte = uchar(c);
        if (breaksRequestLine(byte)) {
            url += '%';
            url += hex[byte >> 4];
            url += hex[byte & 0xF];
        } else {
            url += c;
        }
    }
    return url;
}

} // namespace shoulu
