#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace shoulu {

// Conversions between Qt text and GBK (code page 936), the encoding of every text the
// program stores, sends and searches. UTF-16 to GBK goes through a table built once from
// iconv: a code unit GBK cannot hold (a surrogate half included) becomes "?".

QByteArray toGbk(QStringView text);
inline QByteArray toGbk(const QString& text)
{
    return toGbk(QStringView(text));
}

// Bytes that are not valid GBK become U+FFFD, one per byte.
QString fromGbk(QByteArrayView bytes);

// Reads a result page as UTF-8 and returns it as GBK, or an empty array when the page is
// empty or the reading fails. The reading is deliberately lenient and deliberately narrow:
// leads 0x80-0x9F and 0xC0-0xDF open two-byte sequences, 0xA0-0xBF and 0xE0-0xFF three-byte
// ones; only continuation bytes are checked, so overlong forms and surrogates pass, while
// any four-byte sequence leaves a dangling lead and fails the whole page.
QByteArray utf8ToGbk(QByteArrayView page);

} // namespace shoulu
