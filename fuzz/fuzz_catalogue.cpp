// A user's engines.json of any content, merged over the built-in catalogue: it loads or is
// refused with a message naming the file, and never moves the seven stored engines.
//
// The file's own text, and its captions and notes, double as pages for its rules: a rule the
// literal prefilter skips on one must not match it either.
//
// Input: the bytes of the user file.
#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "engines/EngineCatalogue.h"
#include "util/EngineCounts.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace shoulu::fuzz {

namespace {

// One file in a fresh directory, rewritten for every input; both go at exit.
const QString& userFile()
{
    static QTemporaryDir directory(QDir::tempPath() + QStringLiteral("/shoulu-fuzz-catalogue-XXXXXX"));
    static const QString path = [] {
        if (!directory.isValid()) {
            std::fprintf(stderr, "fuzz_catalogue: %s\n", qPrintable(directory.errorString()));
            std::abort();
        }
        return directory.filePath(QStringLiteral("engines.json"));
    }();
    return path;
}

// A rule the prefilter skips on a page must not match its text either.
void checkPrefilterOn(const EngineCatalogue& catalogue, const QByteArray& utf8)
{
    const QString text = QString::fromUtf8(utf8);
    for (const CatalogueEngine& engine : catalogue.engines()) {
        for (const auto* rules : { &engine.count, &engine.none, &engine.blocked, &engine.blockedUrl }) {
            for (const PageRule& rule : *rules) {
                const PageRule::Outcome filtered = rule.match(text, utf8);
                const PageRule::Outcome full = rule.match(text);
                if (!filtered.gaveUp && !full.gaveUp) {
                    FUZZ_CHECK(filtered.matched == full.matched);
                }
            }
        }
    }
}

// The file as a page, and its captions and notes without the expressions beside them.
void checkPrefilter(const EngineCatalogue& catalogue, const QByteArray& file)
{
    checkPrefilterOn(catalogue, file);
    QString texts;
    for (const CatalogueEngine& engine : catalogue.engines()) {
        texts += engine.caption + QLatin1Char('\n') + engine.note + QLatin1Char('\n');
    }
    checkPrefilterOn(catalogue, texts.toUtf8());
}

} // namespace

int fuzzCatalogue(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Emptying a file that holds data makes ext4 flush it at close, slower than the rest of a
    // run: the file is overwritten and then cut to size instead.
    QFile file(userFile());
    if (!file.open(QIODevice::ReadWrite) || file.write(bytes) != bytes.size() || !file.resize(bytes.size())) {
        std::perror("fuzz_catalogue: cannot write the user file");
        std::abort();
    }
    file.close();

    const Result<EngineCatalogue> loaded = EngineCatalogue::load(userFile());
    if (!loaded) {
        FUZZ_CHECK(loaded.error().startsWith(userFile() + QLatin1Char(':')));
        FUZZ_CHECK(loaded.error().size() > userFile().size() + 2);
        return 0;
    }
    const EngineCatalogue& builtIn = EngineCatalogue::builtIn();
    const EngineCatalogue& catalogue = *loaded;
    FUZZ_CHECK(catalogue.size() >= builtIn.size() && builtIn.size() >= EngineCount);
    FUZZ_CHECK(catalogue.userFile() == userFile());
    QSet<QString> keys;
    for (int i = 0; i < catalogue.size(); ++i) {
        const CatalogueEngine& engine = catalogue.engine(i);
        FUZZ_CHECK(!keys.contains(engine.key));
        keys.insert(engine.key);
        if (i < builtIn.size()) {
            FUZZ_CHECK(engine.key == builtIn.engine(i).key);
            FUZZ_CHECK(engine.column == builtIn.engine(i).column);
        } else {
            FUZZ_CHECK(engine.column == -1);
        }
        if (i < EngineCount) {
            FUZZ_CHECK(engine.column == i);
        }
    }
    checkPrefilter(catalogue, bytes);
    return 0;
}

} // namespace shoulu::fuzz

SHOULU_FUZZ_ENTRY(fuzzCatalogue)
