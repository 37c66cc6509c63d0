#include "engines/EngineTable.h"

#include <gtest/gtest.h>

namespace shoulu {
namespace {

TEST(EngineTableTest, UrlPrefixesEndInTheEnginesQueryValuePrefix)
{
    const QStringList urls = buildEngineUrls();
    ASSERT_EQ(urls.size(), EngineCount);
    EXPECT_EQ(urls.at(0), QStringLiteral("http://www.baidu.com/s?wd=site%3A"));
    for (int i = 0; i < EngineCount; ++i) {
        const QString& url = urls.at(i);
        const bool yahoo = i == static_cast<int>(Engine::Yahoo);
        EXPECT_TRUE(url.endsWith(yahoo ? QStringLiteral("/search?p=") : QStringLiteral("=site%3A"))) << i;
        // Tools outside route requests by the engine's name in the host.
        const QString host = url.mid(7).section(QLatin1Char('/'), 0, 0);
        EXPECT_TRUE(host.contains(QLatin1String(engineInfo(i).name))) << i;
    }
}

TEST(QueryUrlTest, DomainGoesInAsPercentEncodedGbkAndCannotAddAParameter)
{
    const QString prefix = buildEngineUrls().at(3);
    for (auto [domain, tail] : { std::pair { " Example.COM ", "%20Example.COM%20" }, { "中文.cn", "%D6%D0%CE%C4.cn" },
             { "", "" }, { "a.com&wd=evil", "a.com%26wd%3Devil" }, { "a#b+c%d/e", "a%23b%2Bc%25d%2Fe" } }) {
        EXPECT_EQ(queryUrl(prefix, QString::fromUtf8(domain)), prefix.toLatin1() + tail) << domain;
    }
}

TEST(EngineIndexFromTextTest, AcceptsIndexOrNameOnly)
{
    for (auto [text, index] : { std::pair { "0", 0 }, { "6", 6 }, { "youdao", 5 }, { "Bing", 6 }, { "7", -1 },
             { "-1", -1 }, { "01", -1 }, { "", -1 }, { "bai", -1 } }) {
        EXPECT_EQ(engineIndexFromText(QString::fromLatin1(text)), index) << text;
    }
}

} // namespace
} // namespace shoulu
