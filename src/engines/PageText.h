#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace shoulu {

enum class PageEncoding { Utf8, Gbk, Latin1 };

// "utf-8", "GBK", "gb2312", "gb18030", "iso-8859-1", ... in any letter case; nullopt when unknown.
std::optional<PageEncoding> encodingFromName(QByteArrayView name);

// The page's encoding: the charset of the HTTP Content-Type, else the page's own <meta> charset
// (looked for near its start), else the engine's default.
PageEncoding detectEncoding(QByteArrayView contentType, QByteArrayView body, PageEncoding fallback);

// The page as text, always valid UTF-16: bytes that do not belong to the encoding become U+FFFD.
QString decodePage(QByteArrayView body, PageEncoding encoding);

} // namespace shoulu
