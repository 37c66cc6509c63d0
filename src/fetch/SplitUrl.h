#pragma once

#include <QByteArray>

namespace shoulu {

struct UrlParts
{
    QByteArray host;
    QByteArray path = "/";
    int port = 80;
    bool secure = false; // https
};

// Splits an address: an optional "http://" or "https://" (any letter case) removed, host part
// before the first "/", path from that "/" on (or "/"), port after the host part's first ":"
// (80, or 443 for https, when empty or not a number). Nothing is escaped.
UrlParts SplitUrl(const QByteArray& url);

} // namespace shoulu
