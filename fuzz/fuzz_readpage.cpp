// Any page through the whole catalogue entry of every built-in engine: the reading keeps its
// contract, a page with the fixed markers reads as it always did, and the literal prefilter
// never hides a rule that would have matched.
//
// Input: the page bytes; a <meta> charset in them picks the decoding.
#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "engines/CountExtractor.h"
#include "engines/EngineCatalogue.h"
#include "engines/PageReader.h"
#include "engines/PageText.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace shoulu::fuzz {

namespace {

void checkReading(const CatalogueEngine& engine, const QByteArray& page)
{
    const Reading reading = readPage(engine, page);
    FUZZ_CHECK(statusFromWord(statusWord(reading.status)) == reading.status);
    switch (reading.status) {
    case ReadingStatus::Counted:
        FUZZ_CHECK(reading.count >= 0);
        FUZZ_CHECK(!reading.rule.isEmpty());
        break;
    case ReadingStatus::None:
    case ReadingStatus::Blocked:
        FUZZ_CHECK(reading.count == 0);
        FUZZ_CHECK(!reading.rule.isEmpty());
        break;
    case ReadingStatus::Unreadable:
        FUZZ_CHECK(reading.count == 0 || reading.count == -1);
        break;
    case ReadingStatus::Failed:
    case ReadingStatus::Off:
        FUZZ_CHECK(!"a page is never failed or off");
    }

    const std::optional<Count> marked
        = engine.column >= 0 ? ExtractMarkedCount(engine.column, page) : std::optional<Count>();
    if (marked) {
        FUZZ_CHECK(reading.rule == QLatin1String("markers"));
        FUZZ_CHECK(reading.count == *marked);
        FUZZ_CHECK(reading.status == (*marked >= 0 ? ReadingStatus::Counted : ReadingStatus::Unreadable));
        return;
    }
    FUZZ_CHECK(reading.rule != QLatin1String("markers"));

    // Every rule the reader skipped on its fixed text must also fail without that shortcut.
    const PageEncoding encoding = detectEncoding({}, page, engine.encoding);
    if (encoding != PageEncoding::Utf8) {
        return;
    }
    const QString text = decodePage(page, encoding);
    for (const auto* rules : { &engine.count, &engine.none, &engine.blocked }) {
        for (const PageRule& rule : *rules) {
            const PageRule::Outcome filtered = rule.match(text, page);
            const PageRule::Outcome full = rule.match(text);
            if (!full.gaveUp && !filtered.gaveUp) {
                FUZZ_CHECK(filtered.matched == full.matched);
            }
        }
    }
}

} // namespace

int fuzzReadPage(const std::uint8_t* data, std::size_t size)
{
    const QByteArray page(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // The rules rely on it and do not check it again.
    for (PageEncoding encoding : { PageEncoding::Utf8, PageEncoding::Gbk, PageEncoding::Latin1 }) {
        FUZZ_CHECK(decodePage(page, encoding).isValidUtf16());
    }
    for (const CatalogueEngine& engine : EngineCatalogue::builtIn().engines()) {
        checkReading(engine, page);
    }
    return 0;
}

} // namespace shoulu::fuzz

SHOULU_FUZZ_ENTRY(fuzzReadPage)
