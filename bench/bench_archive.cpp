// The page archive on 10,000 real-size result pages (200-600 KB), made from the fixture pages
// with varied figures and result lists, deterministically. A program of its own rather than
// Google Benchmark cases: the figures are one archive built once and read once.
//   bench_archive [PAGES]   (default 10000; files under /tmp, removed afterwards)
#include "archive/ArchiveWriter.h"
#include "archive/PageArchive.h"
#include "archive/PageCodec.h"
#include "archive/Rereader.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

using namespace shoulu;

struct Fixture
{
    const char* engine;
    const char* file;
    const char* figure; // as the fixture writes it; replaced by each page's own
    qsizetype templateSize; // the engine's fixed scripts and styles
};

const Fixture Fixtures[] = {
    { "baidu", "baidu-2019-count.html", "1,240,000", 420 * 1024 },
    { "google", "google-2019-count.html", "298,000,000", 300 * 1024 },
    { "bing", "bing-2026-count.html", "8,230", 190 * 1024 },
    { "sogou", "sogou-2026-count.html", "30,691", 250 * 1024 },
};
constexpr int FixtureEngines = 4;
constexpr int Domains = 50;
constexpr int ResultsPerPage = 10;

QByteArray commaGrouped(quint64 value)
{
    QByteArray digits = QByteArray::number(value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, ',');
    }
    return digits;
}

// Words of a made-up script: what minified scripts and styles are made of.
std::vector<QByteArray> makeVocabulary(std::mt19937& random, int size)
{
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyz_$0123456789";
    std::vector<QByteArray> words;
    for (int i = 0; i < size; ++i) {
        QByteArray word;
        const int length = 2 + static_cast<int>(random() % 10);
        for (int c = 0; c < length; ++c) {
            word += Letters[random() % (c == 0 ? 26 : sizeof(Letters) - 1)];
        }
        words.push_back(word);
    }
    return words;
}

QByteArray makeTemplate(std::mt19937& random, qsizetype size)
{
    static const char* const Joints[]
        = { "(", ")", "{", "}", ";", ".", "=", ",", ":", "&&", "return ", "var ", "function ", "\n", "\"", "!" };
    const std::vector<QByteArray> words = makeVocabulary(random, 3000);
    QByteArray text = "<script>";
    while (text.size() < size) {
        text += words[random() % words.size()];
        text += Joints[random() % std::size(Joints)];
    }
    return text + "</script>\n";
}

QByteArray cjkText(std::mt19937& random, int characters)
{
    QString text;
    for (int i = 0; i < characters; ++i) {
        text += QChar(static_cast<char16_t>(0x4E00 + random() % 3000)); // the commonest part of the block
    }
    return text.toUtf8();
}

QByteArray hex(std::mt19937& random, int digits)
{
    QByteArray text;
    for (int i = 0; i < digits; ++i) {
        text += "0123456789abcdef"[random() % 16];
    }
    return text;
}

// The engine's page for one query: its fixed part, the fixture with a figure of its own, and
// a result list of its own.
QByteArray makePage(const QByteArray& fixture, const Fixture& kind, const QByteArray& fixedPart, std::mt19937& random)
{
    QByteArray page = fixedPart.left(fixedPart.size() - static_cast<qsizetype>(random() % (40 * 1024)));
    QByteArray reading = fixture;
    reading.replace(kind.figure, commaGrouped(1000 + random() % 500'000'000));
    page += reading;
    for (int i = 0; i < ResultsPerPage; ++i) {
        page += "<div class=\"result c-container\" id=\"" + QByteArray::number(i + 1) + "\" data-log=\"{'rsv':'"
            + hex(random, 32) + "'}\"><h3 class=\"t\"><a href=\"https://www.example.com/link?url=" + hex(random, 96)
            + "\" target=\"_blank\">" + cjkText(random, 8 + static_cast<int>(random() % 20))
            + "</a></h3><div class=\"c-abstract\">" + cjkText(random, 60 + static_cast<int>(random() % 60))
            + "</div><div class=\"f13\"><a class=\"c-showurl\">www." + hex(random, 8) + ".com/" + hex(random, 12)
            + "</a></div></div>\n";
    }
    return page + "</body></html>\n";
}

double median(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : double(values[values.size() / 2]);
}

Reply keptReply(const QString& domain, const QString& engine, qint64 at, const QByteArray& type, const QByteArray& body)
{
    Reply page;
    page.domain = domain;
    page.engine = engine;
    page.fetchedAt = QDateTime::fromSecsSinceEpoch(at);
    page.finalUrl = "https://www.example.com/s";
    page.httpStatus = 200;
    page.contentType = type;
    page.arrived = true;
    page.body = body;
    return page;
}

int fail(const QString& what)
{
    std::fprintf(stderr, "bench_archive: %s\n", qPrintable(what));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const int pages = argc > 1 ? std::atoi(argv[1]) : 10000;
    QTemporaryDir dir(QStringLiteral("/tmp/shoulu-bench-archive-XXXXXX"));
    const QString dbPath = dir.filePath(QStringLiteral("setting.dat"));
    if (auto made = SettingsDatabase::create(dbPath); !made) {
        return fail(made.error());
    }
    auto db = SettingsDatabase::open(dbPath);
    auto archive = db ? PageArchive::open(dir.filePath(QStringLiteral("pages.dat")), PageArchive::Mode::CreateIfMissing)
                      : Error { db.error() };
    if (!archive) {
        return fail(archive.error());
    }
    ResultRows rows((*db)->database());

    std::mt19937 random(20261209);
    QByteArray fixtures[FixtureEngines];
    QByteArray fixedParts[FixtureEngines];
    for (int e = 0; e < FixtureEngines; ++e) {
        QFile file(QStringLiteral(SHOULU_PAGES_DIR "/") + QLatin1String(Fixtures[e].file));
        if (!file.open(QIODevice::ReadOnly)) {
            return fail(file.errorString());
        }
        fixtures[e] = file.readAll();
        fixedParts[e] = makeTemplate(random, Fixtures[e].templateSize + static_cast<qsizetype>(e) * 100 * 1024);
    }

    // Archive: one row per domain and day with a reading per engine, linked by fetch time.
    std::vector<qint64> stored;
    std::vector<qint64> plain;
    qint64 bodyBytes = 0;
    PageCodec codec;
    QElapsedTimer clock;
    clock.start();
    qint64 archiving = 0;
    const qint64 firstDay = QDateTime::currentSecsSinceEpoch() - 100 * 86400;
    for (int n = 0; n < pages; n += FixtureEngines) {
        const QString domain = QStringLiteral("site%1.example.com").arg(n / FixtureEngines % Domains);
        const qint64 at = firstDay + (n / FixtureEngines / Domains) * 86400 + n;
        QList<EngineReading> readings;
        for (int e = 0; e < FixtureEngines && n + e < pages; ++e) {
            const QByteArray body = makePage(fixtures[e], Fixtures[e], fixedParts[e], random);
            bodyBytes += body.size();
            if ((n + e) % 10 == 0) {
                plain.push_back(codec.compress(body)->size());
            }
            EngineReading reading { QString::fromLatin1(Fixtures[e].engine), {} };
            reading.reading.status = ReadingStatus::Counted;
            reading.reading.fetchedAt = QDateTime::fromSecsSinceEpoch(at);
            readings.append(reading);
            const Reply page = keptReply(domain, reading.engine, at, "text/html; charset=utf-8", body);
            clock.restart();
            auto id = (*archive)->store(page, true);
            archiving += clock.nsecsElapsed();
            if (!id) {
                return fail(id.error());
            }
            stored.push_back((*archive)->facts(*id)->storedSize);
        }
        if (auto added = rows.addshoulu(domain, QDateTime::fromSecsSinceEpoch(at), {}, readings); !added) {
            return fail(added.error());
        }
    }
    std::printf("archived %d pages, %.0f KB each on average, in %.1f s (%.1f ms a page, on the archive's thread)\n",
        pages, double(bodyBytes) / pages / 1024, double(archiving) / 1e9, double(archiving) / 1e6 / pages);
    std::printf("stored size per page, median: %.1f KB with the trained dictionaries; plain zstd -3: %.1f KB\n",
        median(stored) / 1024, median(plain) / 1024);
    std::printf("pages.dat: %.1f MB\n", double(QFileInfo(dir.filePath(QStringLiteral("pages.dat"))).size()) / 1e6);

    // Read again: every archived page through the current catalogue; all readings are stored as
    // counted with figure 0, so every one of them changes.
    Rereader rereader((*db)->database(), **archive, dir.filePath(QStringLiteral("engines.json")));
    clock.restart();
    auto summary = rereader.run({}, [](const RereadChange&) {});
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!summary) {
        return fail(summary.error());
    }
    std::printf("reread: %d pages (%d changed) in %.2f s: %.0f pages/s\n", summary->pages, summary->changed, seconds,
        summary->pages / seconds);

    // What a query's seven pages cost the thread that hands them in.
    {
        ArchiveWriter writer(dir.filePath(QStringLiteral("pages.dat")));
        std::vector<qint64> costs;
        for (int query = 0; query < 50; ++query) {
            std::vector<QByteArray> bodies;
            for (int e = 0; e < 7; ++e) {
                bodies.push_back(makePage(fixtures[e % FixtureEngines], Fixtures[e % FixtureEngines],
                    fixedParts[e % FixtureEngines], random));
            }
            clock.restart();
            for (int e = 0; e < 7; ++e) {
                writer.keep(keptReply(QStringLiteral("ui.example.com"),
                                QString::fromLatin1(Fixtures[e % FixtureEngines].engine),
                                QDateTime::currentSecsSinceEpoch(), "text/html", bodies[e]),
                    true);
            }
            costs.push_back(clock.nsecsElapsed());
            writer.waitUntilIdle();
        }
        std::printf("handing a query's 7 pages to the archive: median %.3f ms, worst %.3f ms on the calling thread\n",
            median(costs) / 1e6, double(*std::max_element(costs.begin(), costs.end())) / 1e6);
    }
    return 0;
}
