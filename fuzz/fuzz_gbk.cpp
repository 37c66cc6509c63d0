// GBK conversions: the page decode against a byte-at-a-time reading of the same rules, and
// the round trip of any UTF-16 text through GBK.
#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "engines/GbkCodec.h"

#include <QByteArray>
#include <QString>

#include <cstring>
#include <optional>

namespace shoulu::fuzz {

namespace {

bool isContinuation(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0xBF;
}

// The lenient UTF-8 reading one byte at a time; nullopt when a sequence is cut short or
// broken.
std::optional<QString> readUnits(const QByteArray& page)
{
    QString units;
    for (qsizetype i = 0; i < page.size();) {
        const auto b0 = static_cast<unsigned char>(page.at(i));
        if (b0 < 0x80) {
            units.append(QChar(static_cast<char16_t>(b0)));
            ++i;
            continue;
        }
        const qsizetype length = (b0 & 0x20) ? 3 : 2;
        if (i + length > page.size()) {
            return std::nullopt;
        }
        const auto b1 = static_cast<unsigned char>(page.at(i + 1));
        if (!isContinuation(b1)) {
            return std::nullopt;
        }
        if (length == 2) {
            units.append(QChar(static_cast<char16_t>(((b0 & 0x1F) << 6) | (b1 & 0x3F))));
        } else {
            const auto b2 = static_cast<unsigned char>(page.at(i + 2));
            if (!isContinuation(b2)) {
                return std::nullopt;
            }
            units.append(QChar(static_cast<char16_t>(((b0 & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F))));
        }
        i += length;
    }
    return units;
}

// What a GBK round trip must give back: every unit GBK has no character for becomes '?'.
QString expectedRoundTrip(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c != QLatin1Char('?') && toGbk(QStringView(&c, 1)) == "?") {
            c = QLatin1Char('?');
        }
    }
    return out;
}

} // namespace

int fuzzGbk(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const QByteArray decoded = utf8ToGbk(bytes);
    const std::optional<QString> units = readUnits(bytes);
    FUZZ_CHECK(decoded.size() <= bytes.size());
    if (!units || units->isEmpty()) {
        FUZZ_CHECK(decoded.isEmpty());
    } else {
        FUZZ_CHECK(decoded == toGbk(*units));
    }

    // The input as GBK text, and as raw UTF-16 units (lone surrogates included).
    const QString fromBytes = fromGbk(bytes);
    FUZZ_CHECK(fromBytes.size() <= bytes.size());
    FUZZ_CHECK(fromGbk(toGbk(fromBytes)) == expectedRoundTrip(fromBytes));

    QString raw(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    std::memcpy(raw.data(), data, static_cast<std::size_t>(raw.size()) * 2);
    const QByteArray rawGbk = toGbk(raw);
    FUZZ_CHECK(rawGbk.size() <= raw.size() * 2);
    FUZZ_CHECK(fromGbk(rawGbk) == expectedRoundTrip(raw));
    return 0;
}

} // namespace shoulu::fuzz

SHOULU_FUZZ_ENTRY(fuzzGbk)
