#include "engines/CountExtractor.h"
#include "support/GbkPages.h"

#include <QStringBuilder>

#include <benchmark/benchmark.h>

namespace {

constexpr int kYoudao = 5;
constexpr qsizetype kPageSize = 1 << 20;

// About 1 MB of result-list markup and Chinese text, the figure near the end.
QByteArray utf8Page(const char* line)
{
    QByteArray body;
    while (body.size() < kPageSize) {
        body += line;
    }
    return body + shoulu::test::resultPageUtf8(kYoudao, "约1亿2,345万");
}

const char* const kResultLine = "<li><a href=\"http://example.com/news/2012/0315.html\">示例网站首页 - "
                                "欢迎访问我们的网站，这里有最新的新闻和资讯</a><span>2012-3-15</span></li>\n";
const char* const kPlainChinese = "搜索引擎收录查询工具每天记录各个网站被收录的网页数量并显示趋势图。";

void run(benchmark::State& state, const QByteArray& page)
{
    if (shoulu::ExtractCount(kYoudao, page) != 123450000) {
        state.SkipWithError("figure not found");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(shoulu::ExtractCount(kYoudao, page));
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}

void BM_ExtractUtf8Page(benchmark::State& state)
{
    run(state, utf8Page(kResultLine));
}

void BM_ExtractUtf8PlainChinese(benchmark::State& state)
{
    run(state, utf8Page(kPlainChinese));
}

void BM_ExtractGbkPage(benchmark::State& state)
{
    run(state, shoulu::test::gbkFromUtf8(utf8Page(kResultLine)));
}

} // namespace

BENCHMARK(BM_ExtractUtf8Page)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExtractUtf8PlainChinese)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExtractGbkPage)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
