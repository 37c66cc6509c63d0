#pragma once

#include <QByteArray>

namespace shoulu {

struct UrlParts
{
    QByteArray host;
    QByteArray path = "/";
    int port = 80;
};

// Splits an address: an optional "http://" (any letter case) removed, host part before the
// first "/", path from that "/" on (or "/"), port after the host part's first ":" (80 when
// empty or not a number). Nothing is escaped.
UrlParts SplitUrl(const QByteArray& url);

} // namespace shoulu
