// Count extraction on arbitrary pages, and on pages built around a known figure, so that a
// wrong count is caught as well as a crash.
#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "engines/ByteText.h"
#include "engines/CountExtractor.h"
#include "engines/GbkCodec.h"

#include <QByteArray>
#include <QString>

#include <limits>
#include <optional>

namespace shoulu::fuzz {

namespace {

constexpr QByteArrayView kHundredMillion("\xD2\xDA"); // 亿
constexpr QByteArrayView kTenThousand("\xCD\xF2"); // 万

QByteArray workingText(const QByteArray& page)
{
    const QByteArray decoded = utf8ToGbk(page);
    return decoded.isEmpty() ? page : decoded;
}

void checkAnyPage(int engine, const QByteArray& page)
{
    const Count count = ExtractCount(engine, page);
    FUZZ_CHECK(count >= -1);
    if (engine < 0 || engine >= EngineCount) {
        FUZZ_CHECK(count == 0);
        return;
    }
    const ExtractionRule& rule = extractionRule(engine);
    const QByteArray working = workingText(page);
    const qsizetype start = Find(rule.startMarker, working);
    const qsizetype end = Find(rule.endMarker, working);
    if (start == 0 || end == 0 || end < start + rule.startLength) {
        FUZZ_CHECK(count == 0);
    }
    // A converted page holds the same figure as its GBK form, unless that form would itself be
    // converted again.
    if (working != page && utf8ToGbk(working).isEmpty()) {
        FUZZ_CHECK(ExtractCount(engine, working) == count);
    }
}

// Decimal digits of value, after some leading zeros, with the engine's removals strewn
// between them.
QByteArray figureText(FuzzInput& input, const ExtractionRule& rule, std::uint64_t value)
{
    QByteArray digits = QByteArray(input.byte() % 4, '0') + QByteArray::number(value);
    QByteArray out;
    const auto separator = [&] {
        const std::uint8_t choice = input.byte() % 6;
        if (choice < rule.removals.size()) {
            out.append(rule.removals[choice]);
        }
    };
    for (char digit : digits) {
        separator();
        out.append(digit);
    }
    separator();
    return out;
}

// Up to `kind` digits, any 64-bit value, or one close to the largest count, where the
// overflow checks turn.
std::uint64_t boundedValue(FuzzInput& input)
{
    const int kind = input.byte() % 22;
    if (kind == 21) {
        return static_cast<std::uint64_t>(std::numeric_limits<Count>::max()) + static_cast<std::int8_t>(input.byte());
    }
    std::uint64_t value = input.integer(8);
    if (kind < 20) {
        std::uint64_t limit = 1;
        for (int i = 0; i < kind; ++i) {
            limit *= 10;
        }
        value %= limit;
    }
    return value;
}

// value, or -1 when it does not fit a count.
Count expectedCount(std::optional<std::uint64_t> value)
{
    if (!value || *value > static_cast<std::uint64_t>(std::numeric_limits<Count>::max())) {
        return -1;
    }
    return static_cast<Count>(*value);
}

std::optional<std::uint64_t> timesPlus(std::uint64_t value, std::uint64_t factor, std::uint64_t sum)
{
    std::uint64_t product;
    if (__builtin_mul_overflow(value, factor, &product) || __builtin_add_overflow(product, sum, &product)) {
        return std::nullopt;
    }
    return product;
}

// A page whose figure is known: junk, start marker, figure, end marker, junk, in GBK or in
// UTF-8. Checked only when the markers around the figure are the first ones the page holds.
void checkBuiltPage(std::uint8_t selector, FuzzInput& input)
{
    const int engine = selector % EngineCount;
    const bool utf8 = selector & 0x08;
    const ExtractionRule& rule = extractionRule(engine);

    std::size_t got = 0;
    const char* at = input.bytes(input.byte() % 65, &got);
    const QByteArray before(at, static_cast<qsizetype>(got));

    QByteArray figure;
    std::optional<std::uint64_t> value;
    if (rule.unitsStep && (selector & 0x10)) {
        const std::uint8_t parts = input.byte();
        std::uint64_t hundredMillions = 0;
        std::uint64_t tenThousands = 0;
        std::uint64_t ones = 0;
        if (parts & 1) {
            hundredMillions = boundedValue(input);
            figure += figureText(input, rule, hundredMillions) + kHundredMillion.toByteArray();
        }
        if (parts & 2) {
            tenThousands = boundedValue(input);
            figure += figureText(input, rule, tenThousands) + kTenThousand.toByteArray();
        }
        if ((parts & 4) || figure.isEmpty()) {
            ones = boundedValue(input);
            figure += figureText(input, rule, ones);
        }
        value = timesPlus(tenThousands, 10000, ones);
        if (value) {
            value = timesPlus(hundredMillions, 100000000, *value);
        }
        // Without 亿, a sum of 0 after 万 leaves the text with its unit: no count.
        if (!(parts & 1) && (parts & 2) && (parts & 4) && value == 0U) {
            value = std::nullopt;
        }
    } else {
        value = boundedValue(input);
        figure = figureText(input, rule, *value);
    }
    at = input.rest(&got);
    const QByteArray after(at, static_cast<qsizetype>(got));

    const QByteArray gbk = rule.startMarker.toByteArray() + figure + rule.endMarker.toByteArray();
    const QByteArray page = before + (utf8 ? fromGbk(gbk).toUtf8() : gbk) + after;

    const QByteArray working = workingText(page);
    const qsizetype start = Find(rule.startMarker, working);
    const qsizetype end = Find(rule.endMarker, working);
    const Count count = ExtractCount(engine, page);
    if (start == 0 || end == 0 || Cut(working, start + rule.startLength, end - start - rule.startLength) != figure) {
        FUZZ_CHECK(count >= -1);
        return;
    }
    FUZZ_CHECK(count == expectedCount(value));
}

} // namespace

int fuzzExtract(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const std::uint8_t selector = input.byte();
    if (selector & 0x80) {
        checkBuiltPage(selector, input);
        return 0;
    }
    // Indices -1 and 7 lie just outside the table.
    const int engine = selector % (EngineCount + 2) - 1;
    std::size_t got = 0;
    const char* page = input.rest(&got);
    checkAnyPage(engine, QByteArray(page, static_cast<qsizetype>(got)));
    return 0;
}

} // namespace shoulu::fuzz

SHOULU_FUZZ_ENTRY(fuzzExtract)
