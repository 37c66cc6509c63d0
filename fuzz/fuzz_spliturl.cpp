// Address splitting and the request address built from its parts: the parts must put the
// address back together, and nothing the request line cannot carry may reach libcurl.
#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "fetch/RequestUrl.h"
#include "fetch/SplitUrl.h"

#include <QByteArray>

#include <charconv>
#include <optional>

namespace shoulu::fuzz {

namespace {

QByteArray withoutPrefix(const QByteArray& url)
{
    if (url.size() >= 8 && url.first(8).toLower() == "https://") {
        return url.sliced(8);
    }
    return url.size() >= 7 && url.first(7).toLower() == "http://" ? url.sliced(7) : url;
}

// The port text read as an int, with an optional sign; nullopt for anything else.
std::optional<int> portNumber(QByteArray text)
{
    if (text.startsWith('+') && text.size() > 1 && text.at(1) != '-') {
        text.remove(0, 1);
    }
    int value = 0;
    const char* end = text.constData() + text.size();
    const auto [stop, error] = std::from_chars(text.constData(), end, value);
    if (text.isEmpty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

void checkRequestUrl(const UrlParts& parts)
{
    const Result<QByteArray> url = RequestUrl(parts);
    if (!url) {
        FUZZ_CHECK(!url.error().isEmpty());
        return;
    }
    FUZZ_CHECK(parts.port >= 1 && parts.port <= 65535);
    for (char c : *url) {
        const auto byte = static_cast<unsigned char>(c);
        FUZZ_CHECK(byte > 0x20 && byte != 0x7F && byte != '#');
    }
    const UrlParts again = SplitUrl(*url);
    FUZZ_CHECK(again.host == parts.host);
    FUZZ_CHECK(again.port == parts.port);
    FUZZ_CHECK(again.secure == parts.secure);
    FUZZ_CHECK(again.path.size() >= parts.path.size());
}

} // namespace

int fuzzSplitUrl(const std::uint8_t* data, std::size_t size)
{
    const QByteArray url(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const UrlParts parts = SplitUrl(url);

    const QByteArray rest = withoutPrefix(url);
    const qsizetype slash = rest.indexOf('/');
    const QByteArray hostPart = slash >= 0 ? rest.first(slash) : rest;
    FUZZ_CHECK(parts.path == (slash >= 0 ? rest.sliced(slash) : QByteArray("/")));
    const qsizetype colon = hostPart.indexOf(':');
    FUZZ_CHECK(parts.host == (colon >= 0 ? hostPart.first(colon) : hostPart));
    const std::optional<int> port = colon >= 0 ? portNumber(hostPart.sliced(colon + 1)) : std::nullopt;
    const bool secure = url.size() >= 8 && url.first(8).toLower() == "https://";
    FUZZ_CHECK(parts.secure == secure);
    FUZZ_CHECK(parts.port == port.value_or(secure ? 443 : 80));

    checkRequestUrl(parts);
    return 0;
}

} // namespace shoulu::fuzz

SHOULU_FUZZ_ENTRY(fuzzSplitUrl)
