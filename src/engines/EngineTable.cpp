#include "engines/EngineTable.h"

#include "engines/GbkCodec.h"

#include <array>

namespace shoulu {

namespace {

constexpr std::array<EngineInfo, EngineCount> kEngines { {
    { "baidu", "百度", "www.baidu.com", "/s", "wd", "site%3A", "bsSkinCheckRadioBox1", "Series1" },
    { "google", "谷歌", "www.google.com.hk", "/search", "q", "site%3A", "bsSkinCheckRadioBox2", "Series2" },
    { "soso", "搜搜", "www.soso.com", "/q", "w", "site%3A", "bsSkinCheckRadioBox3", "Series3" },
    { "yahoo", "雅虎", "sitemap.cn.yahoo.com", "/search", "p", "", "bsSkinCheckRadioBox4", "Series4" },
    { "sogou", "搜狗", "www.sogou.com", "/web", "query", "site%3A", "bsSkinCheckRadioBox5", "Series5" },
    { "youdao", "有道", "www.youdao.com", "/search", "q", "site%3A", "bsSkinCheckRadioBox6", "Series6" },
    { "bing", "必应", "cn.bing.com", "/search", "q", "site%3A", "bsSkinCheckRadioBox7", "Series7" },
} };

} // namespace

const EngineInfo& engineInfo(int index)
{
    Q_ASSERT(index >= 0 && index < EngineCount);
    return kEngines[static_cast<std::size_t>(index)];
}

QStringList buildEngineUrls()
{
    QStringList urls;
    urls.reserve(EngineCount);
    for (const EngineInfo& engine : kEngines) {
        urls.append(QString(QLatin1String("http://") + QLatin1String(engine.host) + QLatin1String(engine.path)
            + QLatin1Char('?') + QLatin1String(engine.queryKey) + QLatin1Char('=')
            + QLatin1String(engine.valuePrefix)));
    }
    return urls;
}

int engineIndexFromText(const QString& text)
{
    if (text.size() == 1 && text.at(0) >= QLatin1Char('0') && text.at(0) < QLatin1Char('0' + EngineCount)) {
        return text.at(0).unicode() - '0';
    }
    for (int i = 0; i < EngineCount; ++i) {
        if (text.compare(QLatin1String(kEngines[static_cast<std::size_t>(i)].name), Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

QByteArray queryUrl(const QString& prefix, const QString& domainText)
{
    return toGbk(prefix) + toGbk(domainText);
}

} // namespace shoulu
