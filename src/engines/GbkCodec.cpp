#include "engines/GbkCodec.h"

#include <QtGlobal>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <memory>

namespace shoulu {

namespace {

// One entry per UTF-16 code unit: a value below 0x100 is a single GBK byte, anything else
// the lead byte in the high half and the trail byte in the low half (GBK leads are >= 0x81).
using GbkTable = std::array<std::uint16_t, 0x10000>;

constexpr std::uint16_t kDefaultChar = '?';

std::unique_ptr<GbkTable> buildGbkTable()
{
    auto table = std::make_unique<GbkTable>();
    for (unsigned unit = 0; unit < 0x80; ++unit) {
        (*table)[unit] = static_cast<std::uint16_t>(unit);
    }
    for (unsigned unit = 0x80; unit < table->size(); ++unit) {
        (*table)[unit] = kDefaultChar;
    }

    iconv_t cd = iconv_open("GBK", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        qWarning("GBK conversion unavailable (iconv: %s); non-ASCII text becomes '?'", std::strerror(errno));
        return table;
    }
    for (unsigned unit = 0x80; unit < table->size(); ++unit) {
        if (unit >= 0xD800 && unit < 0xE000) {
            continue; // a lone surrogate half is no character
        }
        char in[2] = { static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8) };
        char out[4];
        char* inPtr = in;
        char* outPtr = out;
        size_t inLeft = sizeof in;
        size_t outLeft = sizeof out;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(out);
        const auto written = static_cast<size_t>(outPtr - out);
        if (written == 1) {
            (*table)[unit] = bytes[0];
        } else if (written == 2 && bytes[0] >= 0x81) {
            (*table)[unit] = static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
        }
    }
    iconv_close(cd);
    return table;
}

const GbkTable& gbkTable()
{
    static const std::unique_ptr<GbkTable> table = buildGbkTable();
    return *table;
}

// dst must have room for two bytes.
inline unsigned char* putGbk(unsigned char* dst, std::uint16_t gbk)
{
    if (gbk > 0xFF) {
        dst[0] = static_cast<unsigned char>(gbk >> 8);
        dst[1] = static_cast<unsigned char>(gbk);
        return dst + 2;
    }
    dst[0] = static_cast<unsigned char>(gbk);
    return dst + 1;
}

inline bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

} // namespace

QByteArray toGbk(QStringView text)
{
    const GbkTable& table = gbkTable();
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    auto* begin = reinterpret_cast<unsigned char*>(out.data());
    unsigned char* dst = begin;
    for (QChar c : text) {
        dst = putGbk(dst, table[c.unicode()]);
    }
    out.truncate(dst - begin);
    return out;
}

QString fromGbk(QByteArrayView bytes)
{
    if (bytes.isEmpty()) {
        return {};
    }
    iconv_t cd = iconv_open("UTF-16LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return QString::fromLatin1(bytes);
    }
    // Every GBK character, one byte or two, is one UTF-16 unit.
    QString out(bytes.size(), Qt::Uninitialized);
    char* inPtr = const_cast<char*>(bytes.data());
    size_t inLeft = static_cast<size_t>(bytes.size());
    char* outBegin = reinterpret_cast<char*>(out.data());
    char* outPtr = outBegin;
    size_t outLeft = static_cast<size_t>(out.size()) * 2;
    while (inLeft > 0) {
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            break; // cannot happen: the output has a unit per input byte
        }
        // EILSEQ or EINVAL (a lead byte at the end): replace one byte and go on.
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const char16_t replacement = 0xFFFD;
        std::memcpy(outPtr, &replacement, sizeof replacement);
        outPtr += 2;
        outLeft -= 2;
        ++inPtr;
        --inLeft;
    }
    iconv_close(cd);
    out.truncate((outPtr - outBegin) / 2);
    return out;
}

QByteArray utf8ToGbk(QByteArrayView page)
{
    const qsizetype size = page.size();
    if (size == 0) {
        return {};
    }
    const GbkTable& table = gbkTable();
    // No sequence yields more GBK bytes than it has UTF-8 bytes, so the page size is enough
    // and the two-byte store of putGbk never runs past it.
    QByteArray out(size, Qt::Uninitialized);
    auto* const outBegin = reinterpret_cast<unsigned char*>(out.data());
    unsigned char* dst = outBegin;
    const auto* src = reinterpret_cast<const unsigned char*>(page.data());
    const unsigned char* const end = src + size;

    while (src < end) {
        if (end - src >= 8) {
            std::uint64_t word;
            std::memcpy(&word, src, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                std::memcpy(dst, &word, 8);
                src += 8;
                dst += 8;
                continue;
            }
        }
        const unsigned char b0 = *src;
        if (b0 < 0x80) {
            *dst++ = b0;
            ++src;
            continue;
        }
        unsigned unit;
        if ((b0 & 0x20) == 0) {
            if (end - src < 2 || !isContinuation(src[1])) {
                return {};
            }
            unit = ((b0 & 0x1Fu) << 6) | (src[1] & 0x3Fu);
            src += 2;
        } else {
            if (end - src < 3 || !isContinuation(src[1]) || !isContinuation(src[2])) {
                return {};
            }
            unit = ((b0 & 0x0Fu) << 12) | ((src[1] & 0x3Fu) << 6) | (src[2] & 0x3Fu);
            src += 3;
        }
        dst = putGbk(dst, table[unit]);
    }
    out.truncate(dst - outBegin);
    return out;
}

} // namespace shoulu
