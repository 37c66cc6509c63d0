#include "engines/CountExtractor.h"

#include "engines/ByteText.h"
#include "engines/GbkCodec.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <optional>

namespace shoulu {

namespace {

constexpr QByteArrayView kComma(",");
constexpr QByteArrayView kSpace(" ");
constexpr QByteArrayView kAbout("\xD4\xBC"); // 约
constexpr QByteArrayView kHundredMillion("\xD2\xDA"); // 亿
constexpr QByteArrayView kTenThousand("\xCD\xF2"); // 万
constexpr QByteArrayView kEightZeros("00000000");
constexpr QByteArrayView kFourZeros("0000");

// Bytes are GBK; each marker's readable text is in the comment beside it.
constexpr std::array<ExtractionRule, EngineCount> kRules { {
    // <td align="right" nowrap>百度一下，找到相关网页 ... 篇，用时
    { "<td align=\"right\" "
      "nowrap>\xB0\xD9\xB6\xC8\xD2\xBB\xCF\xC2\xA3\xAC\xD5\xD2\xB5\xBD\xCF\xE0\xB9\xD8\xCD\xF8\xD2\xB3",
        47, "\xC6\xAA\xA3\xAC\xD3\xC3\xCA\xB1", { kComma, kAbout, {} }, false },
    // </b> 获得约 <b> ... </b> 条结果
    { "</b> \xBB\xF1\xB5\xC3\xD4\xBC <b>", 15, "</b> \xCC\xF5\xBD\xE1\xB9\xFB", { kComma, {}, {} }, false },
    // 搜索到约 ... 项结果，
    { "\xCB\xD1\xCB\xF7\xB5\xBD\xD4\xBC", 8, "\xCF\xEE\xBD\xE1\xB9\xFB\xA3\xAC", { kComma, {}, {} }, false },
    // <em>被收录的网页： 共 <strong> ... </strong> 条  当前
    { "<em>\xB1\xBB\xCA\xD5\xC2\xBC\xB5\xC4\xCD\xF8\xD2\xB3\xA3\xBA \xB9\xB2 <strong>", 30,
        "</strong> \xCC\xF5  \xB5\xB1\xC7\xB0", { kComma, {}, {} }, false },
    // " 找到 " ... <!--resultbarnum
    { " \xD5\xD2\xB5\xBD ", 6, "<!--resultbarnum", { kComma, kSpace, {} }, false },
    // <span class="fr">共 ... 条结果</span>
    { "<span class=\"fr\">\xB9\xB2", 19, "\xCC\xF5\xBD\xE1\xB9\xFB</span>", { kComma, kSpace, kAbout }, true },
    // 条，共 ... 条结果</span>
    { "\xCC\xF5\xA3\xAC\xB9\xB2", 6, "\xCC\xF5\xBD\xE1\xB9\xFB</span>", { kComma, kSpace, kAbout }, false },
} };

QByteArray joined(std::initializer_list<QByteArrayView> parts)
{
    QByteArray out;
    for (QByteArrayView part : parts) {
        out.append(part);
    }
    return out;
}

// Decimal text with an optional sign and any number of leading zeros; nullopt when the text
// is anything else or does not fit 64 bits.
std::optional<Count> toInteger(QByteArrayView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text = text.sliced(1);
    }
    if (text.isEmpty() || !IsAllDigits(text)) {
        return std::nullopt;
    }
    // Accumulate negatively: the negative range is the larger one.
    constexpr Count kMin = std::numeric_limits<Count>::min();
    Count value = 0;
    for (char c : text) {
        const int digit = c - '0';
        if (value < (kMin + digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 - digit;
    }
    if (negative) {
        return value;
    }
    if (value == kMin) {
        return std::nullopt;
    }
    return -value;
}

std::optional<Count> add(std::optional<Count> a, std::optional<Count> b)
{
    Count sum;
    if (!a || !b || __builtin_add_overflow(*a, *b, &sum)) {
        return std::nullopt;
    }
    return sum;
}

// The figure in front of a unit, times the unit (given as its zeros): an integer as the
// units step has always read it, or a decimal fraction such as 1.5 that comes out whole.
std::optional<Count> unitValue(QByteArrayView piece, QByteArrayView zeros)
{
    if (auto whole = toInteger(joined({ piece, zeros }))) {
        return whole;
    }
    const qsizetype point = piece.indexOf('.');
    if (point < 0) {
        return std::nullopt;
    }
    QByteArrayView integral = piece.first(point);
    QByteArrayView fraction = piece.sliced(point + 1);
    QByteArrayView sign;
    if (!integral.isEmpty() && (integral.front() == '-' || integral.front() == '+')) {
        sign = integral.first(1);
        integral = integral.sliced(1);
    }
    if (integral.isEmpty() || fraction.isEmpty() || !IsAllDigits(integral) || !IsAllDigits(fraction)) {
        return std::nullopt;
    }
    const qsizetype places = zeros.size();
    if (fraction.size() > places) {
        const QByteArrayView beyond = fraction.sliced(places);
        if (!std::all_of(beyond.begin(), beyond.end(), [](char c) { return c == '0'; })) {
            return std::nullopt; // a fraction of a page
        }
        fraction = fraction.first(places);
    }
    return toInteger(joined({ sign, integral, fraction, zeros.first(places - fraction.size()) }));
}

// Youdao writes large figures with 亿 (10^8) and 万 (10^4). Returns the count when the text
// holds a unit and nullopt when it holds none; a figure that cannot be read, or overflows,
// counts -1.
std::optional<Count> resolveUnits(QByteArrayView text)
{
    std::optional<Count> hundredMillions = 0;
    std::optional<Count> tenThousands = 0;
    bool hasUnit = false;
    // The text is replaced by the sum only when a part came out other than the bare "0" it
    // starts as; otherwise it keeps its unit and is no count ("0万0", "-5万50000").
    bool rewritten = false;
    QByteArray rest = text.toByteArray();

    if (Find(kHundredMillion, rest) > 0) {
        hasUnit = true;
        rewritten = true;
        const QList<QByteArray> pieces = SplitText(rest, kHundredMillion);
        hundredMillions = unitValue(pieces.at(0), kEightZeros);
        rest = pieces.at(1);
    }
    if (Find(kTenThousand, rest) > 0) {
        hasUnit = true;
        const QList<QByteArray> pieces = SplitText(rest, kTenThousand);
        tenThousands = unitValue(pieces.at(pieces.size() - 2), kFourZeros);
        if (!pieces.last().isEmpty()) {
            tenThousands = add(toInteger(pieces.last()), tenThousands);
            rewritten = rewritten || tenThousands != 0;
        } else {
            rewritten = true; // the piece with its zeros appended is never the bare "0"
        }
    } else if (hasUnit && !rest.isEmpty()) {
        tenThousands = toInteger(rest); // 1亿5000: the digits after 亿 count too
    }
    if (!hasUnit) {
        return std::nullopt;
    }
    if (!rewritten) {
        return -1;
    }
    const std::optional<Count> sum = add(hundredMillions, tenThousands);
    return sum && *sum >= 0 ? *sum : -1;
}

Count toCount(QByteArrayView text)
{
    if (text.isEmpty()) {
        return 0;
    }
    if (!IsAllDigits(text)) {
        return -1;
    }
    return toInteger(text).value_or(-1);
}

} // namespace

const ExtractionRule& extractionRule(int engineIndex)
{
    Q_ASSERT(engineIndex >= 0 && engineIndex < EngineCount);
    return kRules[static_cast<std::size_t>(engineIndex)];
}

std::optional<Count> ExtractMarkedCount(int engineIndex, const QByteArray& page)
{
    if (engineIndex < 0 || engineIndex >= EngineCount) {
        return std::nullopt;
    }
    const ExtractionRule& rule = kRules[static_cast<std::size_t>(engineIndex)];

    // A page that does not read as UTF-8 (a GBK page, as a rule) is searched as received.
    const QByteArray decoded = utf8ToGbk(page);
    const QByteArrayView working = decoded.isEmpty() ? QByteArrayView(page) : QByteArrayView(decoded);

    // No figure without both markers in order; a start marker behind the end marker would only
    // give an empty cut, and a missing one would cut from byte L of the page.
    const auto [start, end] = FindBefore(rule.startMarker, rule.endMarker, working);
    if (start == 0 || end == 0) {
        return std::nullopt;
    }
    const qsizetype figureStart = start + rule.startLength;
    QByteArray text = Cut(working, figureStart, end - figureStart);

    for (QByteArrayView removal : rule.removals) {
        if (!removal.isEmpty()) {
            text = RemoveAll(removal, text);
        }
    }
    if (text.isEmpty()) {
        return std::nullopt;
    }
    if (rule.unitsStep) {
        return ReadUnitsFigure(text);
    }
    return toCount(text);
}

Count ExtractCount(int engineIndex, const QByteArray& page)
{
    return ExtractMarkedCount(engineIndex, page).value_or(0);
}

Count ReadUnitsFigure(QByteArrayView text)
{
    if (const std::optional<Count> count = resolveUnits(text)) {
        return *count;
    }
    return toCount(text);
}

} // namespace shoulu
