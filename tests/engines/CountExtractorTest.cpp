#include "engines/CountExtractor.h"

#include "support/GbkPages.h"

#include <QStringBuilder>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace shoulu {
namespace {

using test::gbkFromUtf8;
using test::resultPageGbk;
using test::resultPageUtf8;

enum { Baidu, Google, Soso, Yahoo, Sogou, Youdao, Bing };

TEST(ExtractionRuleTest, MarkerLengthsAndBytesMatchTheirReadableText)
{
    for (int engine = 0; engine < EngineCount; ++engine) {
        SCOPED_TRACE(engine);
        const ExtractionRule& rule = extractionRule(engine);
        EXPECT_EQ(rule.startLength, rule.startMarker.size());
        EXPECT_EQ(rule.startMarker, gbkFromUtf8(test::startMarkerUtf8(engine)));
        EXPECT_EQ(rule.endMarker, gbkFromUtf8(test::endMarkerUtf8(engine)));
        EXPECT_EQ(rule.unitsStep, engine == Youdao);
    }
}

TEST(ExtractionRuleTest, RemovalsAreTheEnginesSeparatorsInOrder)
{
    const std::vector<std::vector<QByteArray>> expected { { ",", "约" }, { "," }, { "," }, { "," }, { ",", " " },
        { ",", " ", "约" }, { ",", " ", "约" } };
    for (int engine = 0; engine < EngineCount; ++engine) {
        std::vector<QByteArray> actual, wanted;
        for (QByteArrayView removal : extractionRule(engine).removals) {
            if (!removal.isEmpty()) {
                actual.push_back(removal.toByteArray());
            }
        }
        for (const QByteArray& text : expected[static_cast<std::size_t>(engine)]) {
            wanted.push_back(gbkFromUtf8(text));
        }
        EXPECT_EQ(actual, wanted) << engine;
    }
}

struct FigureCase
{
    const char* name;
    int engine;
    const char* figure; // UTF-8, put between the engine's markers
    Count count;
};

void PrintTo(const FigureCase& c, std::ostream* os)
{
    *os << c.name;
}

enum class Encoding { Utf8, Gbk };

void PrintTo(Encoding encoding, std::ostream* os)
{
    *os << (encoding == Encoding::Utf8 ? "UTF-8" : "GBK");
}

class FigureTest : public testing::TestWithParam<std::tuple<FigureCase, Encoding>>
{
};

TEST_P(FigureTest, ReadsTheFigureBetweenTheMarkers)
{
    const auto& [c, encoding] = GetParam();
    const QByteArray page
        = encoding == Encoding::Utf8 ? resultPageUtf8(c.engine, c.figure) : resultPageGbk(c.engine, c.figure);
    EXPECT_EQ(ExtractCount(c.engine, page), c.count);
}

constexpr Count kMax = std::numeric_limits<Count>::max();

const FigureCase kFigures[] = {
    // As the engines print them.
    { "BaiduDropsAboutAndCommas", Baidu, "约1,230", 1230 },
    { "GoogleDropsCommas", Google, "12,300", 12300 },
    { "SosoDropsCommas", Soso, "5,432", 5432 },
    { "YahooDropsCommas", Yahoo, "45,678", 45678 },
    { "SogouDropsTrailingSpace", Sogou, "3,210 ", 3210 },
    { "YoudaoResolvesYiAndWan", Youdao, "约1亿2,345万", 123450000 },
    { "YoudaoAddsDigitsAfterWan", Youdao, " 2万5,000 ", 25000 },
    { "BingDropsSpaces", Bing, " 1,234 ", 1234 },
    { "MarkupInFigureIsNotANumber", Baidu, "约<b>1,230</b>", -1 },
    { "FigureOfRemovalsOnlyIsZero", Youdao, " , 约 ", 0 },
    { "LeadingZerosAreRead", Google, "007", 7 },
    { "Int32MaxIsKept", Soso, "2147483647", 2147483647 },
    // Separators an engine does not remove.
    { "FullWidthCommaIsNotANumber", Baidu, "1，230", -1 },
    { "SogouKeepsAbout", Sogou, "约3,210", -1 },
    { "BaiduKeepsSpaces", Baidu, "1 230", -1 },
    { "OnlyYoudaoResolvesUnits", Bing, "3万", -1 },
    { "SignIsNotANumber", Google, "-5", -1 },
    // Figures past 32 bits.
    { "FigureAboveInt32IsKept", Google, "3,000,000,000", 3000000000 },
    { "Int64MaxIsKept", Google, "9223372036854775807", kMax },
    { "FigureBeyondInt64IsNotANumber", Google, "9223372036854775808", -1 },
    // Youdao's units.
    { "Wan", Youdao, "3万", 30000 },
    { "WanThenDigits", Youdao, "2万5000", 25000 },
    { "Yi", Youdao, "1亿", 100000000 },
    { "YiWanDigits", Youdao, "1亿2345万6789", 123456789 },
    { "ZeroWan", Youdao, "0万", 0 },
    { "NoUnit", Youdao, "5", 5 },
    { "YiAlone", Youdao, "亿", 0 },
    { "DigitsAfterYiWithoutWanAreAdded", Youdao, "1亿5000", 100005000 },
    { "DecimalWan", Youdao, "1.5万", 15000 },
    { "DecimalYi", Youdao, "2.35亿", 235000000 },
    { "DecimalWanAfterYi", Youdao, "1亿2.5万", 100025000 },
    { "DecimalWithTrailingZerosPastTheUnit", Youdao, "1.500000万", 15000 },
    { "DecimalThatLeavesAFractionIsNotANumber", Youdao, "1.23456万", -1 },
    { "MalformedDecimalIsNotANumber", Youdao, "1..5万", -1 },
    { "LetterAfterUnitIsNotANumber", Youdao, "3万x", -1 },
    { "NegativeSumIsNotANumber", Youdao, "-3万", -1 },
    { "ZeroAroundWanKeepsTheUnit", Youdao, "0万0", -1 },
    { "WanSumOfZeroKeepsTheUnit", Youdao, "-5万50000", -1 },
    { "NegativeWanWithLargerTailIsASum", Youdao, "-1万20000", 10000 },
    { "YiOverflowIsNotANumber", Youdao, "99999999999亿", -1 },
    { "SumUpToInt64MaxIsKept", Youdao, "92233720368亿54775807", kMax },
    { "SumOverflowIsNotANumber", Youdao, "92233720368亿54775808", -1 },
};

INSTANTIATE_TEST_SUITE_P(Figures, FigureTest,
    testing::Combine(testing::ValuesIn(kFigures), testing::Values(Encoding::Utf8, Encoding::Gbk)),
    [](const testing::TestParamInfo<FigureTest::ParamType>& info) {
        return std::string(std::get<0>(info.param).name)
            + (std::get<1>(info.param) == Encoding::Utf8 ? "_Utf8" : "_Gbk");
    });

class PageTest : public testing::TestWithParam<Encoding>
{
protected:
    QByteArray page(const QByteArray& utf8) const { return GetParam() == Encoding::Utf8 ? utf8 : gbkFromUtf8(utf8); }
    static QByteArray start(int engine) { return test::startMarkerUtf8(engine); }
    static QByteArray end(int engine) { return test::endMarkerUtf8(engine); }
};

TEST_P(PageTest, OnlyTheFirstFigureCounts)
{
    const QByteArray utf8 = resultPageUtf8(Soso, "5,432") + start(Soso) + "999" + end(Soso);
    EXPECT_EQ(ExtractCount(Soso, page(utf8)), 5432);
}

TEST_P(PageTest, EndMarkerBeforeStartGivesZeroEvenWhenItRecurs)
{
    const QByteArray utf8 = "<p>文字" + end(Bing) + "<p>" + start(Bing) + "1,234" + end(Bing);
    EXPECT_EQ(ExtractCount(Bing, page(utf8)), 0);
}

TEST_P(PageTest, MissingStartMarkerGivesZeroNotTheBytesBeforeTheEndMarker)
{
    // Digits lie where a cut from the start marker's length would land.
    const QByteArray utf8 = "中文" + QByteArray(80, '7') + end(Baidu);
    EXPECT_EQ(ExtractCount(Baidu, page(utf8)), 0);
}

TEST_P(PageTest, MissingEndMarkerGivesZero)
{
    EXPECT_EQ(ExtractCount(Youdao, page("<p>页面" + start(Youdao) + "3万条")), 0);
}

TEST_P(PageTest, NulBytesBeforeTheMarkersDoNotHideThem)
{
    QByteArray utf8 = "<p>页面";
    utf8.append('\0');
    utf8 += resultPageUtf8(Yahoo, "45,678");
    EXPECT_EQ(ExtractCount(Yahoo, page(utf8)), 45678);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PageTest, testing::Values(Encoding::Utf8, Encoding::Gbk), [](const testing::TestParamInfo<Encoding>& info) {
        return std::string(info.param == Encoding::Utf8 ? "Utf8" : "Gbk");
    });

TEST(ExtractCountTest, EmptyPageGivesZeroForEveryEngine)
{
    for (int engine = 0; engine < EngineCount; ++engine) {
        EXPECT_EQ(ExtractCount(engine, QByteArray()), 0) << engine;
    }
}

TEST(ExtractCountTest, FourByteCharacterAnywhereLeavesUtf8PageUnreadable)
{
    EXPECT_EQ(ExtractCount(Soso, resultPageUtf8(Soso, "5,432") + "😀"), 0);
    EXPECT_EQ(ExtractCount(Soso, "😀" + resultPageUtf8(Soso, "5,432")), 0);
}

TEST(ExtractCountTest, EachEngineReadsOnlyItsOwnMarkers)
{
    const QByteArray page = resultPageGbk(Sogou, "3,210 ");
    for (int engine = 0; engine < EngineCount; ++engine) {
        EXPECT_EQ(ExtractCount(engine, page), engine == Sogou ? 3210 : 0) << engine;
    }
}

} // namespace
} // namespace shoulu
