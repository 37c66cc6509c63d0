#include "engines/ByteText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace shoulu {

namespace {

// 0-based offset of the needle in text[from..], or -1.
qsizetype findFrom(QByteArrayView needle, QByteArrayView text, qsizetype from)
{
    if (needle.isEmpty() || from >= text.size()) {
        return -1;
    }
    const void* hit = memmem(
        text.data() + from, static_cast<size_t>(text.size() - from), needle.data(), static_cast<size_t>(needle.size()));
    return hit ? static_cast<const char*>(hit) - text.data() : -1;
}

// Sixteen bytes at a time through the compiler's generic vectors (SSE2 on x86-64, NEON on ARM).
using Bytes16 = unsigned char __attribute__((vector_size(16)));

inline Bytes16 load16(const char* data)
{
    Bytes16 bytes;
    std::memcpy(&bytes, data, sizeof bytes);
    return bytes;
}

inline Bytes16 splat(char byte)
{
    return Bytes16 {} + static_cast<unsigned char>(byte);
}

// Lane i of a comparison result, all ones or all zeros, as byte i of two little halves.
struct LaneMask
{
    std::uint64_t low;
    std::uint64_t high;
};

template <typename Mask> inline LaneMask lanes(Mask mask)
{
    static_assert(sizeof(Mask) == sizeof(LaneMask));
    LaneMask result;
    std::memcpy(&result, &mask, sizeof result);
    return result;
}

inline bool matchesAt(QByteArrayView needle, QByteArrayView text, qsizetype at)
{
    return at + needle.size() <= text.size()
        && std::memcmp(text.data() + at, needle.data(), static_cast<size_t>(needle.size())) == 0;
}

inline bool isGbkLead(char byte)
{
    const auto b = static_cast<unsigned char>(byte);
    return b >= 0x81 && b <= 0xFE;
}

} // namespace

qsizetype Find(QByteArrayView needle, QByteArrayView text)
{
    return findFrom(needle, text, 0) + 1;
}

FoundPair FindBefore(QByteArrayView first, QByteArrayView second, QByteArrayView text)
{
    FoundPair found;
    if (first.isEmpty() || second.isEmpty()) {
        found.second = Find(second, text);
        found.first = Find(first, text);
        if (found.second != 0 && found.first >= found.second) {
            found.first = 0;
        }
        return found;
    }
    // At each offset `second` is tried before `first`: one beginning at the same offset is not
    // before it. Once `first` turns up, only `second` is left to find, from the next offset on.
    const auto firstFoundAt = [&](qsizetype at) {
        found.first = at + 1;
        found.second = findFrom(second, text, at + 1) + 1;
        return found;
    };

    // A candidate offset has both the needle's first and last byte in place; memcmp settles it.
    const Bytes16 firstHead = splat(first.front());
    const Bytes16 firstTail = splat(first.back());
    const Bytes16 secondHead = splat(second.front());
    const Bytes16 secondTail = splat(second.back());
    const qsizetype reach = std::max(first.size(), second.size()) - 1 + 16; // bytes a block reads
    const char* const data = text.data();
    qsizetype at = 0;
    for (; at + reach <= text.size(); at += 16) {
        const Bytes16 heads = load16(data + at);
        const auto firstMask = (heads == firstHead) & (load16(data + at + first.size() - 1) == firstTail);
        const auto secondMask = (heads == secondHead) & (load16(data + at + second.size() - 1) == secondTail);
        const LaneMask any = lanes(firstMask | secondMask);
        if ((any.low | any.high) == 0) {
            continue;
        }
        const LaneMask firstLanes = lanes(firstMask);
        const LaneMask secondLanes = lanes(secondMask);
        for (int half = 0; half < 2; ++half) {
            std::uint64_t candidates = half == 0 ? any.low : any.high;
            const std::uint64_t firstBits = half == 0 ? firstLanes.low : firstLanes.high;
            const std::uint64_t secondBits = half == 0 ? secondLanes.low : secondLanes.high;
            while (candidates != 0) {
                const int bit = __builtin_ctzll(candidates);
                const std::uint64_t lane = std::uint64_t { 0xFF } << (bit & ~7);
                candidates &= ~lane;
                const qsizetype offset = at + half * 8 + bit / 8;
                if ((secondBits & lane) && matchesAt(second, text, offset)) {
                    found.second = offset + 1;
                    return found;
                }
                if ((firstBits & lane) && matchesAt(first, text, offset)) {
                    return firstFoundAt(offset);
                }
            }
        }
    }
    for (; at < text.size(); ++at) {
        if (matchesAt(second, text, at)) {
            found.second = at + 1;
            return found;
        }
        if (matchesAt(first, text, at)) {
            return firstFoundAt(at);
        }
    }
    return found;
}

QByteArray Cut(QByteArrayView text, qsizetype start, qsizetype length)
{
    if (start < 1) {
        start = 1;
    }
    if (length <= 0 || start > text.size()) {
        return {};
    }
    const qsizetype offset = start - 1;
    return text.sliced(offset, std::min(length, text.size() - offset)).toByteArray();
}

QByteArray RemoveAll(QByteArrayView pattern, QByteArrayView text)
{
    if (pattern.isEmpty() || text.size() < pattern.size()) {
        return text.toByteArray();
    }
    QByteArray out;
    out.reserve(text.size());
    const qsizetype size = text.size();
    const qsizetype last = size - pattern.size(); // last offset a match can begin at
    qsizetype copied = 0; // text[copied..i) is still to be copied
    qsizetype i = 0;
    while (i <= last) {
        if (std::memcmp(text.data() + i, pattern.data(), static_cast<size_t>(pattern.size())) == 0) {
            out.append(text.data() + copied, i - copied);
            i += pattern.size();
            copied = i;
            continue;
        }
        i += isGbkLead(text[i]) ? 2 : 1;
    }
    out.append(text.data() + copied, size - copied);
    return out;
}

bool IsAllDigits(QByteArrayView text)
{
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

QList<QByteArray> SplitText(QByteArrayView text, QByteArrayView delimiter)
{
    QList<QByteArray> pieces;
    if (text.isEmpty()) {
        return pieces;
    }
    qsizetype from = 0;
    for (qsizetype hit = findFrom(delimiter, text, 0); hit >= 0; hit = findFrom(delimiter, text, from)) {
        pieces.append(text.sliced(from, hit - from).toByteArray());
        from = hit + delimiter.size();
    }
    pieces.append(text.sliced(from).toByteArray());
    return pieces;
}

} // namespace shoulu
