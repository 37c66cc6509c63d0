#include "engines/PageReader.h"

#include "engines/EngineTable.h"
#include "engines/GbkCodec.h"
#include "support/GbkPages.h"

#include <QFile>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

const EngineCatalogue& catalogue()
{
    return EngineCatalogue::builtIn();
}

const CatalogueEngine& engineNamed(const char* key)
{
    const int at = catalogue().find(QLatin1String(key));
    EXPECT_GE(at, 0) << key;
    return catalogue().engine(std::max(at, 0));
}

QByteArray fixture(const char* name)
{
    QFile file(QStringLiteral(SHOULU_PAGES_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

struct PageCase
{
    const char* file;
    ReadingStatus status;
    Count count;
};

// Every saved page, in the encoding it came in and as the same page sent in GBK.
TEST(PageReaderTest, ReadsEverySavedPageInEitherEncoding)
{
    const PageCase cases[] = {
        { "baidu-2014-count.html", ReadingStatus::Counted, 100000000 },
        { "baidu-2019-count.html", ReadingStatus::Counted, 1240000 },
        { "baidu-2021-blocked.html", ReadingStatus::Blocked, 0 },
        { "baidu-2023-blocked.html", ReadingStatus::Blocked, 0 },
        { "bing-2019-count.html", ReadingStatus::Counted, 1100000 },
        { "bing-2026-count.html", ReadingStatus::Counted, 8230 },
        { "google-2013-blocked.html", ReadingStatus::Blocked, 0 },
        { "google-2016zh-blocked.html", ReadingStatus::Blocked, 0 },
        { "google-2019-count.html", ReadingStatus::Counted, 298000000 },
        { "google-2019ch-count.html", ReadingStatus::Counted, 437000 },
        { "google-2019de-count.html", ReadingStatus::Counted, 439000000 },
        { "sogou-2017-blocked.html", ReadingStatus::Blocked, 0 },
        { "sogou-2017-count.html", ReadingStatus::Counted, 57817 },
        { "sogou-2026-count.html", ReadingStatus::Counted, 30691 },
    };
    for (const PageCase& c : cases) {
        const QByteArray key = QByteArray(c.file).split('-').first();
        const CatalogueEngine& engine = engineNamed(key.constData());
        const QByteArray page = fixture(c.file);
        const Reading utf8 = readPage(engine, page);
        EXPECT_EQ(statusWord(utf8.status), statusWord(c.status)) << c.file << " " << utf8.error.toStdString();
        EXPECT_EQ(utf8.count, c.count) << c.file;
        EXPECT_FALSE(utf8.rule.isEmpty()) << c.file;

        // The Chinese engines once sent GBK; a page's own <meta> charset would say utf-8, the header wins.
        if (key == "baidu" || key == "sogou") {
            const QByteArray gbk = test::gbkFromUtf8(page);
            const Reading fromGbk = readPage(engine, gbk, "text/html; charset=GBK");
            EXPECT_EQ(fromGbk.status, utf8.status) << c.file << " as GBK";
            EXPECT_EQ(fromGbk.count, utf8.count) << c.file << " as GBK";
        }
    }
}

// Past the first page (and on the first in some markets) the count line starts with the range of
// results shown or the page number; the figure is the total after it.
TEST(PageReaderTest, ReadsTheTotalBehindARangeOrPageNumber)
{
    const QByteArray fourByte = "\xF0\x9F\x98\x80"; // not GBK: the fixed markers do not match
    const struct
    {
        const char* engine;
        QByteArray page;
        Count count;
    } cases[] = {
        { "bing", "<span class=\"sb_count\">98-107 of 32,200,000 results</span>", 32200000 },
        { "bing", "<span class=\"sb_count\">1-10 of 8,230 results</span>", 8230 },
        { "bing", "<span class=\"sb_count\">1,001&#8211;1,010 of 2.300.000 Ergebnisse</span>", 2300000 },
        { "bing", "<span class=\"sb_count\">Page 2 of 7,370 results</span>", 7370 },
        { "bing", "<span class=\"sb_count\">About 8,230 results</span>", 8230 },
        { "bing", "<span class=\"sb_count\">第 11-20 条，共 1,234 条结果</span>", 1234 },
        { "bing", "<span class=\"sb_count\">第 11-20 条，共 1,234 条结果</span>" + fourByte, 1234 },
        { "bing", "<span class=\"sb_count\">11 - 20 条，共 560,000 条结果</span>" + fourByte, 560000 },
        { "google", "<div id=\"result-stats\">Page 2 of about 298,000,000 results<nobr> (0.49 seconds)</nobr>",
            298000000 },
        { "google", "<div id=\"result-stats\">第 2 页，找到约 53,900 条结果<nobr> （用时 0.3 秒）</nobr>", 53900 },
        { "google", "<div id=\"resultStats\">Seite 3 von ungefähr 439.000.000 Ergebnissen</div>", 439000000 },
        { "google", "<div id=\"resultStats\">About 74 results</div>", 74 },
    };
    for (const auto& c : cases) {
        const Reading reading = readPage(engineNamed(c.engine), c.page);
        EXPECT_EQ(statusWord(reading.status), statusWord(ReadingStatus::Counted)) << c.page.constData();
        EXPECT_EQ(reading.count, c.count) << c.page.constData();
    }
}

TEST(PageReaderTest, OldMarkersReadFirstAndExactlyAsBefore)
{
    for (int i = 0; i < EngineCount; ++i) {
        const CatalogueEngine& engine = catalogue().engine(i);
        const Reading figure = readPage(engine, test::resultPageUtf8(i, "1,234"));
        EXPECT_EQ(figure.status, ReadingStatus::Counted) << engine.key.toStdString();
        EXPECT_EQ(figure.count, 1234) << engine.key.toStdString();
        EXPECT_EQ(figure.rule, QStringLiteral("markers"));
        const Reading markup = readPage(engine, test::resultPageGbk(i, "<b>1</b>"));
        EXPECT_EQ(markup.status, ReadingStatus::Unreadable) << engine.key.toStdString();
        EXPECT_EQ(markup.count, -1) << engine.key.toStdString();
    }
}

// A reply as the fetch hands it on: whether a body came, and what the server said.
Reply reply(bool arrived, const QByteArray& body, int httpStatus, const QByteArray& finalUrl,
    const QByteArray& contentType, const QString& error)
{
    Reply r;
    r.arrived = arrived;
    r.body = body;
    r.httpStatus = httpStatus;
    r.finalUrl = finalUrl;
    r.contentType = contentType;
    r.error = error;
    return r;
}

TEST(PageReaderTest, ClassifiesEveryKindOfAnswer)
{
    const CatalogueEngine& baidu = engineNamed("baidu");
    const CatalogueEngine& soso = engineNamed("soso");
    const QByteArray counted = "<p>百度为您找到相关结果约1,240个</p>";
    struct Case
    {
        const char* name;
        const CatalogueEngine& engine;
        Reply reply;
        ReadingStatus status;
        Count count;
    } cases[] = {
        { "figure", baidu, reply(true, counted, 200, "https://www.baidu.com/s?wd=x", "text/html", {}),
            ReadingStatus::Counted, 1240 },
        { "no result", baidu, reply(true, "<div>很抱歉，没有找到与“site:x.cn”相关的网页。</div>", 200, {}, {}, {}),
            ReadingStatus::None, 0 },
        { "verification address", baidu,
            reply(true, "<html>ok</html>", 200, "https://wappass.baidu.com/static/captcha/tuxing.html?x=1", {}, {}),
            ReadingStatus::Blocked, 0 },
        { "http 429 without a body", baidu, reply(false, {}, 429, {}, {}, QStringLiteral("empty")),
            ReadingStatus::Blocked, 0 },
        { "http 403 even with a figure", baidu, reply(true, counted, 403, {}, {}, {}), ReadingStatus::Blocked, 0 },
        { "http 503 page is no figure", baidu, reply(true, counted, 503, {}, {}, {}), ReadingStatus::Failed, 0 },
        { "no page", baidu, reply(false, {}, 0, {}, {}, QStringLiteral("Timeout was reached")), ReadingStatus::Failed,
            0 },
        { "a page nothing understands", baidu, reply(true, "<html>hello</html>", 200, "https://www.baidu.com/", {}, {}),
            ReadingStatus::Unreadable, 0 },
        { "a closed engine's redirect", soso,
            reply(true, "<html>搜狗搜索</html>", 200, "https://www.sogou.com/", {}, {}), ReadingStatus::Unreadable, 0 },
        { "a figure past 64 bits", baidu,
            reply(true, "百度为您找到相关结果约99,999,999,999,999,999,999个", 200, {}, {}, {}),
            ReadingStatus::Unreadable, -1 },
    };
    for (const Case& c : cases) {
        const Reading reading = readReply(c.engine, c.reply);
        EXPECT_EQ(statusWord(reading.status), statusWord(c.status)) << c.name;
        EXPECT_EQ(reading.count, c.count) << c.name;
        EXPECT_EQ(reading.httpStatus, c.reply.httpStatus) << c.name;
    }
    const Reading elsewhere = readReply(soso, cases[8].reply);
    EXPECT_EQ(elsewhere.finalHost, QStringLiteral("www.sogou.com"));
    EXPECT_TRUE(elsewhere.error.contains(QLatin1String("www.sogou.com"))) << elsewhere.error.toStdString();
    EXPECT_EQ(readReply(baidu, cases[6].reply).error, QStringLiteral("Timeout was reached"));
}

// A rule that reaches the match limit passes the page on to the next rules and is named in the
// reading, whichever rule decides after it.
TEST(PageReaderTest, ARuleThatGivesUpLeavesThePageToTheNextRules)
{
    CatalogueEngine bing = engineNamed("bing");
    const Result<PageRule> stalls = PageRule::compile(RuleKind::Count, QStringLiteral("^(?<n>(a|aa)+)+$"));
    ASSERT_TRUE(stalls.ok());
    bing.count.insert(bing.count.begin(), *stalls);
    const QByteArray stalling = QByteArray(200, 'a') + "!\n";
    const struct
    {
        QByteArray rest;
        ReadingStatus status;
        Count count;
        const char* rule;
    } cases[] = {
        { "<span class=\"sb_count\">8,230 results</span>", ReadingStatus::Counted, 8230, "count: <span" },
        { "There are no results for x.cn", ReadingStatus::None, 0, "none: There are" },
        { "Verify you are human", ReadingStatus::Blocked, 0, "blocked: Verify" },
        { "<html>nothing to read</html>", ReadingStatus::Unreadable, 0, "count: ^(?<n>" },
    };
    for (const auto& c : cases) {
        const Reading reading = readPage(bing, stalling + c.rest);
        EXPECT_EQ(statusWord(reading.status), statusWord(c.status)) << c.rest.constData();
        EXPECT_EQ(reading.count, c.count) << c.rest.constData();
        EXPECT_TRUE(reading.rule.startsWith(QLatin1String(c.rule))) << reading.rule.toStdString();
        EXPECT_TRUE(reading.error.contains(QLatin1String("^(?<n>(a|aa)+)+$"))) << reading.error.toStdString();
        EXPECT_TRUE(reading.error.contains(QLatin1String("more work than allowed"))) << reading.error.toStdString();
    }
    // Without the stalling text the same rules read the page with nothing to say about it.
    EXPECT_TRUE(readPage(bing, cases[0].rest).error.isEmpty());
}

} // namespace
} // namespace shoulu
