#include "fetch/SplitUrl.h"

#include <limits>
#include <optional>

namespace shoulu {

namespace {

// Decimal digits with an optional sign, within int; nullopt for anything else.
std::optional<int> readInteger(QByteArrayView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return int(value);
}

} // namespace

UrlParts SplitUrl(const QByteArray& url)
{
    QByteArrayView rest = url;
    UrlParts parts;
    if (rest.size() >= 7 && rest.first(7).compare("http://", Qt::CaseInsensitive) == 0) {
        rest = rest.sliced(7);
    } else if (rest.size() >= 8 && rest.first(8).compare("https://", Qt::CaseInsensitive) == 0) {
        rest = rest.sliced(8);
        parts.secure = true;
        parts.port = 443;
    }
    QByteArrayView hostPart = rest;
    const qsizetype slash = rest.indexOf('/');
    if (slash >= 0) {
        hostPart = rest.first(slash);
        parts.path = rest.sliced(slash).toByteArray();
    }
    const qsizetype colon = hostPart.indexOf(':');
    if (colon >= 0) {
        parts.host = hostPart.first(colon).toByteArray();
        parts.port = readInteger(hostPart.sliced(colon + 1)).value_or(parts.port);
    } else {
        parts.host = hostPart.toByteArray();
    }
    return parts;
}

} // namespace shoulu
