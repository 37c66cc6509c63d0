// Reading 1 MB result pages through the whole catalogue entry of an engine, as a query does.
#include "engines/CountExtractor.h"
#include "engines/EngineCatalogue.h"
#include "engines/PageReader.h"
#include "support/GbkPages.h"

#include <QByteArray>
#include <QString>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using shoulu::Count;

constexpr qsizetype kPageSize = 1 << 20;

const char* const kTitles[] = {
    "示例网站首页 - 欢迎访问我们的网站",
    "北京天气预报_一周天气查询_实时气温",
    "如何学习编程：从入门到精通的完整指南",
    "新闻中心 - 最新国内国际新闻资讯",
    "产品介绍与技术支持 | 官方网站",
    "Getting Started with Qt 6 | Documentation",
    "Open Source Search Tools - Overview and Comparison",
    "关于我们 - 公司简介与发展历程",
    "Release Notes and Changelog - Example Project",
    "常见问题解答（FAQ）- 帮助中心",
    "开源项目文档与下载 - Example Developer Network",
    "Contact Us - Example Corporation Worldwide",
};

const char* const kSnippets[] = {
    "本站提供最新的行业资讯、技术文章和产品评测，每天更新，欢迎收藏并分享给您的朋友。",
    "This guide walks you through installing the toolkit, building your first project and deploying it.",
    "网站地图包含全部栏目和文章列表，方便用户快速查找所需内容，同时便于搜索引擎抓取。",
    "Learn how the indexing pipeline works, what a crawler sees and why some pages take longer to appear.",
    "我们致力于为客户提供优质的服务和可靠的解决方案，业务覆盖全国三十多个省市。",
    "Frequently asked questions about accounts, billing, privacy settings and data export.",
    "专题页面汇总了近年来的重要报道与深度分析，配有图表和视频，内容持续更新中。",
    "Compare plans side by side, read customer stories and try the hosted version for free.",
};

const char* const kHosts[] = {
    "www.example.com",
    "news.example.cn",
    "docs.example.org",
    "bbs.example.net",
    "blog.example.com.cn",
    "shop.example.com",
    "m.example.cn",
};

const char* const kWords[] = { "news", "article", "docs", "forum", "thread", "product", "help", "download" };

const char* const kRelated[]
    = { "网站建设", "搜索优化", "站长工具", "网页设计", "域名查询", "服务器租用", "open source", "web hosting" };

// Markup of a result page, stretch after stretch drawn by a fixed pseudo-random sequence so
// that no two stretches are alike.
class PageWriter
{
public:
    explicit PageWriter(unsigned seed)
        : m_random(seed)
    { }

    QByteArray head(const char* charset)
    {
        return QByteArray("<!DOCTYPE html>\n<html><head><meta http-equiv=\"content-type\" content=\"text/html;charset=")
            + charset
            + "\">\n<title>site:example.com - 搜索</title>\n<link rel=\"stylesheet\" "
              "href=\"//static.example.com/css/serp_2f9a.css\">\n</head>\n<body>\n<div id=\"wrapper\">\n";
    }

    // Stretches up to `size` bytes, a little beyond.
    QByteArray body(qsizetype size)
    {
        QByteArray out;
        out.reserve(size + 4096);
        while (out.size() < size) {
            const unsigned kind = pick(10);
            if (kind < 6) {
                out += result();
            } else if (kind < 8) {
                out += script();
            } else if (kind == 8) {
                out += style();
            } else {
                out += related();
            }
        }
        return out;
    }

    QByteArray tail()
    {
        QByteArray out = "<div id=\"page\"><strong>1</strong>";
        for (int page = 2; page <= 10; ++page) {
            out += QByteArray("<a href=\"/s?wd=site%3Aexample.com&amp;pn=") + QByteArray::number((page - 1) * 10)
                + "\">" + QByteArray::number(page) + "</a>";
        }
        out += "<a class=\"n\" href=\"/s?wd=site%3Aexample.com&amp;pn=10\">下一页&gt;</a></div>\n";
        out += related() + script();
        return out + "<div id=\"foot\">帮助 举报 用户反馈 &copy;2026 Example</div>\n</div>\n</body></html>\n";
    }

private:
    unsigned pick(unsigned count) { return std::uniform_int_distribution<unsigned>(0, count - 1)(m_random); }

    template <typename T, std::size_t N> const char* any(const T (&list)[N]) { return list[pick(N)]; }

    QByteArray number(unsigned below) { return QByteArray::number(pick(below)); }

    QByteArray url()
    {
        return QByteArray("http://") + any(kHosts) + "/" + any(kWords) + "/" + number(2027) + "/" + number(100000)
            + ".html";
    }

    QByteArray result()
    {
        ++m_results;
        const QByteArray id = QByteArray::number(m_results);
        const QByteArray link = url();
        QByteArray out = "<div class=\"result c-container\" id=\"" + id + "\" srcid=\"" + number(9000)
            + "\" tpl=\"se_com_default\"><h3 class=\"t\"><a href=\"" + link + "\" target=\"_blank\">" + any(kTitles)
            + "</a></h3><div class=\"c-abstract\"><span class=\"newTimeFactor_before_abs\">"
            + QByteArray::number(2000 + pick(27)) + "-" + QByteArray::number(1 + pick(12)) + "-"
            + QByteArray::number(1 + pick(28)) + "&nbsp;-&nbsp;</span>";
        for (unsigned i = 0, n = 1 + pick(3); i < n; ++i) {
            out += i == 1 ? QByteArray("<em>example</em>") : QByteArray();
            out += any(kSnippets);
        }
        out += "</div><div class=\"f13\"><a class=\"c-showurl\" href=\"" + link + "\">" + any(kHosts)
            + "/...</a> - <a href=\"http://cache.example.com/c?m=" + number(1u << 30) + "\">百度快照</a></div></div>\n";
        return out;
    }

    QByteArray script()
    {
        const QByteArray id = number(100000);
        if (pick(2) == 0) {
            return "<script>(function(){var t=document.getElementById(\"content_left\");if(t){t.setAttribute("
                   "\"data-click\",'{\"rsv_page\":1,\"p1\":"
                + id + "}');}window.__serp_" + id + "=[" + number(1000) + "," + number(1000) + "," + number(1000)
                + "];if(window.bds&&bds.comm){bds.comm.ishome=0;bds.comm.qid=\""
                + QByteArray::number(pick(1u << 30), 16) + "\";}})();</script>\n";
        }
        return "<script type=\"application/json\" data-for=\"result-" + id + "\">{\"title\":\"" + any(kTitles)
            + "\",\"url\":\"" + url() + "\",\"rank\":" + number(50) + ",\"tags\":[\"" + any(kRelated) + "\",\""
            + any(kRelated) + "\"],\"abstract\":\"" + any(kSnippets) + "\"}</script>\n";
    }

    QByteArray style()
    {
        const QByteArray id = number(1000);
        return "<style>.c-container-" + id + "{margin:0 0 " + number(20)
            + "px;line-height:1.54;font-size:13px}.c-abstract-" + id + " em{color:#c00}.c-showurl-" + id
            + "{color:#008000}</style>\n";
    }

    QByteArray related()
    {
        QByteArray out = "<div id=\"rs\"><div class=\"tt\">相关搜索</div><table cellpadding=\"0\"><tr>";
        for (int i = 0; i < 6; ++i) {
            out += QByteArray("<th><a href=\"/s?wd=") + any(kRelated) + "&amp;rsf=" + number(100000) + "\">"
                + any(kRelated) + "</a></th>";
        }
        return out + "</tr></table></div>\n";
    }

    std::mt19937 m_random;
    unsigned m_results = 0;
};

// A page of about 1 MB with `phrase` near its end.
QByteArray pageWith(const QByteArray& phrase, const char* charset = "utf-8")
{
    PageWriter writer(20260309);
    QByteArray page = writer.head(charset);
    const QByteArray tail = writer.tail();
    page += writer.body(kPageSize - page.size() - phrase.size() - tail.size());
    return page + phrase + tail;
}

// 1240000 as "1,240,000".
QByteArray grouped(Count figure)
{
    QByteArray digits = QByteArray::number(figure);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) {
        digits.insert(at, ',');
    }
    return digits;
}

struct Living
{
    const char* key;
    Count figure;
    // The figure as the engine shows it today (from its page in tests/data/pages), %1 the figure.
    const char* phrase;
};

// 360 has no saved page: its phrase is the one the catalogue reads.
const Living kLiving[] = {
    { "baidu", 1240000, "<div class=\"nums\"><span class=\"nums_text\">百度为您找到相关结果约%1个</span></div>" },
    { "google", 298000000, "<div id=\"resultStats\">About %1 results<nobr> (0.77 seconds)&nbsp;</nobr></div>" },
    { "sogou", 30691, "<p class=\"num-tips\">搜狗已为您找到约%1条相关结果</p>" },
    { "bing", 8230, "<span class=\"sb_count\">%1 results</span>" },
    { "360", 5430000, "<span class=\"nums\">找到相关结果约%1个</span>" },
};

const Living& living(const std::string& key)
{
    for (const Living& engine : kLiving) {
        if (key == engine.key) {
            return engine;
        }
    }
    std::abort();
}

const shoulu::CatalogueEngine& catalogueEngine(const std::string& key)
{
    const shoulu::EngineCatalogue& catalogue = shoulu::EngineCatalogue::builtIn();
    return catalogue.engine(catalogue.find(QString::fromStdString(key)));
}

QByteArray livingPhrase(const Living& engine)
{
    return QByteArray(engine.phrase).replace("%1", grouped(engine.figure));
}

// Every rule's fixed text that does not by itself make the page read, so that the prefilter
// lets each such rule's expression run over the whole page and fail.
QByteArray nearMisses(const shoulu::CatalogueEngine& engine)
{
    QByteArray out;
    for (const auto* rules : { &engine.count, &engine.none, &engine.blocked }) {
        for (const shoulu::PageRule& rule : *rules) {
            const QByteArray piece = "<p>" + rule.requiredText() + "</p>\n";
            if (!rule.requiredText().isEmpty()
                && shoulu::readPage(engine, piece).status == shoulu::ReadingStatus::Unreadable) {
                out += piece;
            }
        }
    }
    return out;
}

bool readsAs(benchmark::State& state, const shoulu::Reading& reading, shoulu::ReadingStatus status, Count count)
{
    if (reading.status != status || reading.count != count) {
        const QString got = shoulu::statusWord(reading.status) + QLatin1Char(' ') + QString::number(reading.count)
            + QLatin1Char(' ') + reading.rule;
        state.SkipWithError(("page reads as " + got.toStdString()).c_str());
        return false;
    }
    return true;
}

void readLoop(benchmark::State& state, const shoulu::CatalogueEngine& engine, const QByteArray& page,
    const QByteArray& contentType = {})
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(shoulu::readPage(engine, page, contentType));
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}

// The engine's figure phrase today, read through its whole catalogue entry.
void BM_ReadCounted(benchmark::State& state, const std::string& key)
{
    const Living& engine = living(key);
    const shoulu::CatalogueEngine& entry = catalogueEngine(key);
    const QByteArray page = pageWith(livingPhrase(engine));
    if (readsAs(state, shoulu::readPage(entry, page), shoulu::ReadingStatus::Counted, engine.figure)) {
        readLoop(state, entry, page);
    }
}

// The fixed markers of old: read before any rule, so readPage should cost what ExtractCount does.
QByteArray markerPage(int column, Count figure)
{
    return pageWith(shoulu::test::startMarkerUtf8(column) + grouped(figure) + shoulu::test::endMarkerUtf8(column));
}

void BM_ReadMarkers(benchmark::State& state, const std::string& key)
{
    const shoulu::CatalogueEngine& entry = catalogueEngine(key);
    const Count figure = living(key).figure;
    const QByteArray page = markerPage(entry.column, figure);
    if (readsAs(state, shoulu::readPage(entry, page), shoulu::ReadingStatus::Counted, figure)) {
        readLoop(state, entry, page);
    }
}

void BM_ExtractMarkers(benchmark::State& state, const std::string& key)
{
    const int column = catalogueEngine(key).column;
    const Count figure = living(key).figure;
    const QByteArray page = markerPage(column, figure);
    if (shoulu::ExtractCount(column, page) != figure) {
        state.SkipWithError("figure not found");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(shoulu::ExtractCount(column, page));
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}

// No figure, no refusal: every rule is tried and none matches.
void BM_ReadNoRuleMatches(benchmark::State& state, const std::string& key)
{
    const shoulu::CatalogueEngine& entry = catalogueEngine(key);
    const QByteArray page = pageWith(nearMisses(entry));
    if (readsAs(state, shoulu::readPage(entry, page), shoulu::ReadingStatus::Unreadable, 0)) {
        readLoop(state, entry, page);
    }
}

void BM_ReadGbkCounted(benchmark::State& state)
{
    const Living& engine = living("baidu");
    const shoulu::CatalogueEngine& entry = catalogueEngine("baidu");
    const QByteArray page = shoulu::test::gbkFromUtf8(pageWith(livingPhrase(engine), "gbk"));
    const QByteArray contentType = "text/html; charset=gbk";
    if (page.isEmpty()) {
        state.SkipWithError("no GBK form of the page");
        return;
    }
    if (readsAs(state, shoulu::readPage(entry, page, contentType), shoulu::ReadingStatus::Counted, engine.figure)) {
        readLoop(state, entry, page, contentType);
    }
}

void registerAll()
{
    for (const Living& engine : kLiving) {
        const std::string key = engine.key;
        benchmark::RegisterBenchmark(("BM_ReadCounted/" + key).c_str(), BM_ReadCounted, key)
            ->Unit(benchmark::kMicrosecond);
    }
    for (const Living& engine : kLiving) {
        const std::string key = engine.key;
        if (catalogueEngine(key).column < 0) {
            continue; // no markers of old
        }
        benchmark::RegisterBenchmark(("BM_ReadMarkers/" + key).c_str(), BM_ReadMarkers, key)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("BM_ExtractMarkers/" + key).c_str(), BM_ExtractMarkers, key)
            ->Unit(benchmark::kMicrosecond);
    }
    for (const Living& engine : kLiving) {
        const std::string key = engine.key;
        benchmark::RegisterBenchmark(("BM_ReadNoRuleMatches/" + key).c_str(), BM_ReadNoRuleMatches, key)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("BM_ReadGbkCounted/baidu", BM_ReadGbkCounted)->Unit(benchmark::kMicrosecond);
}

} // namespace

int main(int argc, char** argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
