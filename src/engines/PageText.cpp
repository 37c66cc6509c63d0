#include "engines/PageText.h"

#include "engines/GbkCodec.h"

#include <QByteArray>

namespace shoulu {

namespace {

// A <meta> charset sits in the head; a browser looks no further than the first 1024 bytes,
// we look a little further for pages with long inline scripts before it.
constexpr qsizetype kMetaSearchBytes = 4096;

std::optional<PageEncoding> charsetAfter(QByteArrayView text)
{
    const QByteArray lower = text.toByteArray().toLower();
    const qsizetype at = lower.indexOf("charset=");
    if (at < 0) {
        return std::nullopt;
    }
    qsizetype begin = at + 8;
    while (begin < lower.size() && (lower.at(begin) == '"' || lower.at(begin) == '\'' || lower.at(begin) == ' ')) {
        ++begin;
    }
    qsizetype end = begin;
    while (end < lower.size()) {
        const char c = lower.at(end);
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')) {
            break;
        }
        ++end;
    }
    return encodingFromName(QByteArrayView(lower).sliced(begin, end - begin));
}

} // namespace

std::optional<PageEncoding> encodingFromName(QByteArrayView name)
{
    const QByteArray n = name.toByteArray().trimmed().toLower();
    if (n == "utf-8" || n == "utf8") {
        return PageEncoding::Utf8;
    }
    if (n == "gbk" || n == "gb2312" || n == "gb18030" || n == "x-gbk" || n == "cp936" || n == "euc-cn") {
        return PageEncoding::Gbk;
    }
    if (n == "iso-8859-1" || n == "latin1" || n == "windows-1252" || n == "us-ascii" || n == "ascii") {
        return PageEncoding::Latin1;
    }
    return std::nullopt;
}

PageEncoding detectEncoding(QByteArrayView contentType, QByteArrayView body, PageEncoding fallback)
{
    if (const auto fromHeader = charsetAfter(contentType)) {
        return *fromHeader;
    }
    const QByteArrayView head = body.first(std::min(body.size(), kMetaSearchBytes));
    const qsizetype meta = head.toByteArray().toLower().indexOf("<meta");
    if (meta >= 0) {
        if (const auto fromMeta = charsetAfter(head.sliced(meta))) {
            return *fromMeta;
        }
    }
    return fallback;
}

QString decodePage(QByteArrayView body, PageEncoding encoding)
{
    switch (encoding) {
    case PageEncoding::Gbk:
        return fromGbk(body);
    case PageEncoding::Latin1:
        return QString::fromLatin1(body);
    case PageEncoding::Utf8:
        break;
    }
    return QString::fromUtf8(body);
}

} // namespace shoulu
