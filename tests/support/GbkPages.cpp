#include "support/GbkPages.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace shoulu::test {

namespace {

struct Markers
{
    const char* start;
    const char* end;
};

constexpr std::array<Markers, 7> kMarkers { {
    { "<td align=\"right\" nowrap>百度一下，找到相关网页", "篇，用时" },
    { "</b> 获得约 <b>", "</b> 条结果" },
    { "搜索到约", "项结果，" },
    { "<em>被收录的网页： 共 <strong>", "</strong> 条  当前" },
    { " 找到 ", "<!--resultbarnum" },
    { "<span class=\"fr\">共", "条结果</span>" },
    { "条，共", "条结果</span>" },
} };

const Markers& markers(int engine)
{
    return kMarkers.at(static_cast<std::size_t>(engine));
}

} // namespace

QByteArray gbkFromUtf8(QByteArrayView utf8)
{
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv_open: " << std::strerror(errno);
        return {};
    }
    QByteArray out(utf8.size() * 2 + 1, '\0');
    char* inPtr = const_cast<char*>(utf8.data());
    size_t inLeft = static_cast<size_t>(utf8.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<size_t>(-1)) {
        ADD_FAILURE() << "no GBK form for: " << utf8.toByteArray().toStdString();
        return {};
    }
    out.truncate(outPtr - out.data());
    return out;
}

QByteArray startMarkerUtf8(int engine)
{
    return markers(engine).start;
}

QByteArray endMarkerUtf8(int engine)
{
    return markers(engine).end;
}

QByteArray resultPageUtf8(int engine, QByteArrayView figure)
{
    QByteArray page = "<html><head><title>site:example.com 的搜索结果</title></head>\n"
                      "<body><div class=\"nav\">网页 新闻 图片 视频 地图</div>\n<p>";
    page += startMarkerUtf8(engine);
    page += figure;
    page += endMarkerUtf8(engine);
    page += "</p>\n<ol><li>example.com 首页 - 欢迎访问</li></ol>\n<div>相关搜索 下一页</div></body></html>\n";
    return page;
}

QByteArray resultPageGbk(int engine, QByteArrayView figure)
{
    return gbkFromUtf8(resultPageUtf8(engine, figure));
}

} // namespace shoulu::test
