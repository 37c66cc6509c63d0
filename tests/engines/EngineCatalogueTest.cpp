#include "engines/EngineCatalogue.h"

#include "engines/EngineTable.h"
#include "engines/PageReader.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

class EngineCatalogueTest : public ::testing::Test
{
protected:
    QString write(const QByteArray& json)
    {
        const QString path = m_dir.filePath(QStringLiteral("engines.json"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(json);
        return path;
    }

    QTemporaryDir m_dir;
};

TEST_F(EngineCatalogueTest, BuiltInKeepsTheSevenInTheirColumnsAndCarries360Off)
{
    const EngineCatalogue& catalogue = EngineCatalogue::builtIn();
    ASSERT_EQ(catalogue.size(), EngineCount + 1);
    for (int i = 0; i < EngineCount; ++i) {
        EXPECT_EQ(catalogue.engine(i).column, i);
        EXPECT_EQ(catalogue.engine(i).key, QLatin1String(engineInfo(i).name));
        EXPECT_EQ(catalogue.engine(i).url, buildEngineUrls().at(i));
        EXPECT_TRUE(catalogue.engine(i).enabled);
        EXPECT_EQ(catalogue.engine(i).route, QLatin1String(kHttpRoute));
    }
    const CatalogueEngine& so = catalogue.engine(catalogue.find(QStringLiteral("360")));
    EXPECT_FALSE(so.enabled);
    EXPECT_EQ(so.column, -1);
    EXPECT_EQ(catalogue.find(QStringLiteral("必应")), 6);
    EXPECT_EQ(catalogue.find(QStringLiteral("BING")), 6);
    EXPECT_EQ(catalogue.find(QStringLiteral("6")), 6);
    EXPECT_EQ(catalogue.find(QStringLiteral("7")), -1);
    // The domain goes in as the engine's bytes, percent-encoded.
    EXPECT_EQ(catalogue.engine(0).queryUrl(QStringLiteral("中文.cn")),
        QByteArray("http://www.baidu.com/s?wd=site%3A%D6%D0%CE%C4.cn"));
    EXPECT_EQ(
        so.queryUrl(QStringLiteral("中文.cn")), QByteArray("https://www.so.com/s?q=site%3A%E4%B8%AD%E6%96%87.cn"));
}

TEST_F(EngineCatalogueTest, UserEntriesMergeOverTheBuiltInOnesAndAreTriedFirst)
{
    const QString path = write(R"json({"engines": [
        {"key": "bing", "count": ["Treffer: (?<n>[0-9.]+)"], "none": ["nichts gefunden"]},
        {"key": "360", "enabled": true},
        {"key": "yahoo", "enabled": false},
        {"key": "duck", "caption": "Duck", "url": "https://duck.example/?q=site%3A", "count": ["(?<n>\\d+) hits"]}
    ]})json");
    const Result<EngineCatalogue> loaded = EngineCatalogue::load(path);
    ASSERT_TRUE(loaded.ok()) << loaded.error().toStdString();
    const EngineCatalogue& c = *loaded;
    const CatalogueEngine& bing = c.engine(6);
    EXPECT_TRUE(bing.fromUserFile);
    EXPECT_EQ(bing.count.front().pattern(), QStringLiteral("Treffer: (?<n>[0-9.]+)"));
    EXPECT_EQ(readPage(bing, "Treffer: 1.234").count, 1234);
    EXPECT_EQ(readPage(bing, "<span class=\"sb_count\">8,230 results</span>").count, 8230);
    EXPECT_EQ(readPage(bing, "nichts gefunden").status, ReadingStatus::None);
    EXPECT_TRUE(c.engine(c.find(QStringLiteral("360"))).enabled);
    EXPECT_FALSE(c.engine(3).enabled);
    EXPECT_EQ(c.engine(c.size() - 1).key, QStringLiteral("duck"));
    const std::vector<int> asked = c.enabledEngines();
    EXPECT_EQ(asked.size(), std::size_t(EngineCount + 1)); // yahoo off, 360 and duck on
}

TEST_F(EngineCatalogueTest, ABadFileIsRefusedWithItsLineAndCause)
{
    const std::pair<const char*, const char*> cases[] = {
        { "{\"engines\": [\n  {\"key\": \"bing\",\n   \"count\": [\"(?<n>\\\\d+\"]}\n]}", ":3: the expression" },
        { "{\"engines\": [\n  {\"key\": \"bing\",\n   \"count\": [\"\\\\d+ results\"]}\n]}",
            ":3: the count expression" },
        { "{\"engines\": [\n  {\"key\": \"bing\",\n   \"cuont\": []}\n]}", ":3: unknown field \"cuont\"" },
        { "{\"engines\": [\n  {\"key\": \"bing\"\n   \"count\": []}\n]}", ":3: " },
        { "{\"engines\": [\n  {\"key\": \"new\", \"count\": []}\n]}", "needs a \"url\"" },
        { "{\"engines\": [{\"key\": \"bing\", \"enabled\": \"no\"}]}", ":1: \"enabled\" of engine \"bing\"" },
        { "{\"engines\": [{\"key\": \"360\", \"column\": 2}]}", "fixed by the program" },
        { "[]", ":1: the file must hold one JSON object" },
        { "{\"engines\": [\n  {\"key\": \"bing\",\n   \"hosts\": [\"https://bing.com/\"]}\n]}",
            ":3: \"hosts\" of engine \"bing\" must list host names" },
        { "{\"engines\": [{\"key\": \"bing\", \"hosts\": [\"bing.com\", 7]}]}", "must list host names" },
        { "{\"engines\": [{\"key\": \"bing\", \"hosts\": []}]}", "must be a non-empty list" },
        { "{\"engines\": [{\"key\": \"bing\", \"hosts\": \"bing.com\"}]}", "must be a non-empty list" },
        { "{\"engines\": [\n  {\"key\": \"bing\",\n   \"route\": \"browser\"}\n]}",
            ":3: unknown route \"browser\" of engine \"bing\"" },
    };
    for (const auto& [json, expected] : cases) {
        const QString path = write(json);
        const Result<EngineCatalogue> loaded = EngineCatalogue::load(path);
        ASSERT_FALSE(loaded.ok()) << json;
        EXPECT_TRUE(loaded.error().startsWith(path)) << loaded.error().toStdString();
        EXPECT_TRUE(loaded.error().contains(QString::fromUtf8(expected))) << loaded.error().toStdString();
    }
    EXPECT_TRUE(EngineCatalogue::load(m_dir.filePath(QStringLiteral("missing.json"))).ok());
}

// A redirect is followed only to these hosts: too few strands an engine on its own verification
// page, too many lets a redirect carry the query anywhere.
TEST_F(EngineCatalogueTest, RedirectHostsDefaultToTheRegisteredDomainAndTheRulesHosts)
{
    const struct
    {
        const char* entry;
        QStringList hosts;
    } cases[] = {
        { R"({"key": "a", "url": "http://www.search.com.hk/s?q="})", { QStringLiteral("search.com.hk") } },
        { R"({"key": "a", "url": "https://cn.search.com/s?q=",
              "blockedUrl": ["^https?://verify\\.other\\.net/check", "^https?://(?:www\\.)?open\\.org/"]})",
            { QStringLiteral("search.com"), QStringLiteral("verify.other.net") } },
        { R"({"key": "a", "url": "http://127.0.0.1:8080/s?q="})", { QStringLiteral("127.0.0.1") } },
        { R"({"key": "a", "url": "http://www.search.com/s?q=", "hosts": ["Search.COM", "b.search.cn"]})",
            { QStringLiteral("search.com"), QStringLiteral("b.search.cn") } },
    };
    for (const auto& c : cases) {
        const Result<EngineCatalogue> loaded
            = EngineCatalogue::load(write(QByteArray(R"({"engines": [)") + c.entry + "]}"));
        ASSERT_TRUE(loaded.ok()) << loaded.error().toStdString();
        const int at = loaded->find(QStringLiteral("a"));
        EXPECT_EQ(loaded->engine(at).redirectHosts(), c.hosts) << c.entry;
    }
    const EngineCatalogue& builtIn = EngineCatalogue::builtIn();
    EXPECT_TRUE(builtIn.engine(builtIn.find(QStringLiteral("google"))).redirectHosts().contains(u"google.com"));
}

TEST_F(EngineCatalogueTest, SwitchingAnEngineKeepsTheRestOfTheFile)
{
    const QString path = write(R"json({"userAgent": "test", "engines": [{"key": "bing", "none": ["nichts"]}]})json");
    ASSERT_TRUE(EngineCatalogue::setEnabled(path, QStringLiteral("360"), true).ok());
    ASSERT_TRUE(EngineCatalogue::setEnabled(path, QStringLiteral("必应"), false).ok());
    const Result<EngineCatalogue> loaded = EngineCatalogue::load(path);
    ASSERT_TRUE(loaded.ok()) << loaded.error().toStdString();
    EXPECT_EQ(loaded->userAgent(), QStringLiteral("test"));
    EXPECT_FALSE(loaded->engine(6).enabled);
    EXPECT_EQ(loaded->engine(6).none.front().pattern(), QStringLiteral("nichts"));
    EXPECT_TRUE(loaded->engine(loaded->find(QStringLiteral("360"))).enabled);
    EXPECT_FALSE(EngineCatalogue::setEnabled(path, QStringLiteral("nope"), true).ok());

    const QString broken = write("{\"engines\": [");
    EXPECT_FALSE(EngineCatalogue::setEnabled(broken, QStringLiteral("360"), true).ok());
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("{\"engines\": ["));
}

TEST_F(EngineCatalogueTest, APathologicalRuleGivesUpInsteadOfStalling)
{
    const QString path = write(R"json({"engines": [{"key": "bing", "count": ["^(?<n>(a|aa)+)+$"]}]})json");
    const Result<EngineCatalogue> loaded = EngineCatalogue::load(path);
    ASSERT_TRUE(loaded.ok()) << loaded.error().toStdString();
    const QByteArray page = QByteArray(32 * 1024 * 1024 - 1, 'a') + "!";
    const Reading reading = readPage(loaded->engine(6), page);
    EXPECT_EQ(reading.status, ReadingStatus::Unreadable);
    EXPECT_FALSE(reading.error.isEmpty());
}

TEST(RequiredLiteralTest, TakesOnlyTextEveryMatchMustHold)
{
    const std::pair<const char*, const char*> cases[] = {
        { "百度为您找到相关结果约?\\s*(?<n>\\d+)个", "百度为您找到相关结果" },
        { "<span class=\"sb_count\"[^<>]{0,60}>", "<span class=\"sb_count\"" },
        { "abc(?:def)?ghij", "ghij" },
        { "Verify you are human", "Verify you are human" },
        { "abcd|efgh", "" },
        { "(?i)Verify you are human", "" },
        { "\\d+ results", " results" },
        { "ab", "" },
    };
    for (const auto& [pattern, literal] : cases) {
        EXPECT_EQ(requiredLiteral(QString::fromUtf8(pattern)), QByteArray(literal)) << pattern;
    }
}

} // namespace
} // namespace shoulu
