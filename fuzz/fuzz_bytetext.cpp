// Byte-text operations against plain, obviously correct versions of the same rules.
#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "engines/ByteText.h"

#include <QByteArray>

#include <algorithm>
#include <vector>

namespace shoulu::fuzz {

namespace {

// 0-based, scanning byte by byte from `from`; -1 when absent or the needle is empty.
qsizetype naiveIndex(const QByteArray& needle, const QByteArray& text, qsizetype from)
{
    if (needle.isEmpty()) {
        return -1;
    }
    for (qsizetype at = from; at + needle.size() <= text.size(); ++at) {
        if (std::equal(needle.begin(), needle.end(), text.begin() + at)) {
            return at;
        }
    }
    return -1;
}

qsizetype naiveFind(const QByteArray& needle, const QByteArray& text)
{
    return naiveIndex(needle, text, 0) + 1;
}

qsizetype occurrences(const QByteArray& needle, const QByteArray& text)
{
    qsizetype count = 0;
    for (qsizetype at = naiveIndex(needle, text, 0); at >= 0; at = naiveIndex(needle, text, at + needle.size())) {
        ++count;
    }
    return count;
}

QByteArray naiveCut(const QByteArray& text, qsizetype start, qsizetype length)
{
    QByteArray out;
    for (qsizetype i = std::max<qsizetype>(start, 1); i <= text.size() && out.size() < length; ++i) {
        out.append(text.at(i - 1));
    }
    return out;
}

// Character starts of GBK text: a lead 0x81-0xFE swallows the byte after it.
std::vector<bool> characterStarts(const QByteArray& text)
{
    std::vector<bool> starts(static_cast<std::size_t>(text.size()), false);
    for (qsizetype i = 0; i < text.size();) {
        starts[static_cast<std::size_t>(i)] = true;
        const auto byte = static_cast<unsigned char>(text.at(i));
        i += byte >= 0x81 && byte <= 0xFE ? 2 : 1;
    }
    return starts;
}

QByteArray naiveRemoveAll(const QByteArray& pattern, const QByteArray& text)
{
    if (pattern.isEmpty()) {
        return text;
    }
    const std::vector<bool> starts = characterStarts(text);
    QByteArray out;
    qsizetype i = 0;
    while (i < text.size()) {
        if (starts[static_cast<std::size_t>(i)] && text.mid(i, pattern.size()) == pattern) {
            i += pattern.size(); // whatever follows a deletion starts a character anew
            continue;
        }
        out.append(text.at(i));
        ++i;
    }
    return out;
}

// True when the pattern's own character walk ends on its last byte: then a match that begins
// on a character start also ends on one, whichever way the walk resumes after a deletion.
// The removals extraction uses are all whole characters.
bool isWholeCharacters(const QByteArray& pattern)
{
    const std::vector<bool> starts = characterStarts(pattern);
    const auto lastLead = std::find(starts.rbegin(), starts.rend(), true);
    if (lastLead == starts.rend()) {
        return true;
    }
    const auto lastStart = static_cast<qsizetype>(starts.rend() - lastLead - 1);
    const auto byte = static_cast<unsigned char>(pattern.at(lastStart));
    return !(byte >= 0x81 && byte <= 0xFE) || lastStart + 2 == pattern.size();
}

QByteArray take(FuzzInput& input, std::size_t maxLength)
{
    std::size_t got = 0;
    const char* at = input.bytes(input.byte() % (maxLength + 1), &got);
    return QByteArray(at, static_cast<qsizetype>(got));
}

} // namespace

int fuzzByteText(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    // Needles longer than a 16-byte block reach the vector search's tail handling.
    const QByteArray first = take(input, 40);
    const QByteArray second = take(input, 40);
    const auto start = static_cast<qsizetype>(static_cast<std::int16_t>(input.integer(2)));
    const auto length = static_cast<qsizetype>(static_cast<std::int16_t>(input.integer(2)));
    std::size_t got = 0;
    const char* rest = input.rest(&got);
    const QByteArray text(rest, static_cast<qsizetype>(got));

    FUZZ_CHECK(Find(first, text) == naiveFind(first, text));

    const qsizetype firstAt = naiveFind(first, text);
    const qsizetype secondAt = naiveFind(second, text);
    const FoundPair pair = FindBefore(first, second, text);
    FUZZ_CHECK(pair.second == secondAt);
    FUZZ_CHECK(pair.first == (secondAt == 0 || firstAt < secondAt ? firstAt : 0));

    FUZZ_CHECK(Cut(text, start, length) == naiveCut(text, start, length));

    const QByteArray removed = RemoveAll(first, text);
    if (isWholeCharacters(first)) {
        FUZZ_CHECK(removed == naiveRemoveAll(first, text));
    } else {
        FUZZ_CHECK(first.isEmpty() || (text.size() - removed.size()) % first.size() == 0);
    }

    FUZZ_CHECK(IsAllDigits(text) == std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }));

    const QList<QByteArray> pieces = SplitText(text, first);
    if (text.isEmpty()) {
        FUZZ_CHECK(pieces.isEmpty());
    } else {
        FUZZ_CHECK(pieces.size() == occurrences(first, text) + 1);
        FUZZ_CHECK(pieces.join(first) == text);
    }
    return 0;
}

} // namespace shoulu::fuzz

SHOULU_FUZZ_ENTRY(fuzzByteText)
