#include "engines/GbkCodec.h"

#include "support/GbkPages.h"

#include <QStringBuilder>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

struct DecodeCase
{
    const char* name;
    QByteArray page;
    QByteArray gbk; // empty: the reading fails
};

class Utf8ToGbkTest : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(Utf8ToGbkTest, ConvertsOrFails)
{
    EXPECT_EQ(utf8ToGbk(GetParam().page).toHex(' '), GetParam().gbk.toHex(' '));
}

INSTANTIATE_TEST_SUITE_P(Cases, Utf8ToGbkTest,
    testing::Values(DecodeCase { "Empty", "", "" }, DecodeCase { "AsciiUnchanged", "<a href=\"x\">", "<a href=\"x\">" },
        DecodeCase { "NulByteKept", QByteArray("a\0b", 3), QByteArray("a\0b", 3) },
        DecodeCase { "Chinese", "百度，", "\xB0\xD9\xB6\xC8\xA3\xAC" },
        DecodeCase { "EuroSign", "\xE2\x82\xAC", "\x80" },
        // Leads 0x80-0x9F read as two-byte and 0xA0-0xBF as three-byte sequences.
        DecodeCase { "LowLeadTwoBytes", "\x82\xB7", "\xA1\xA4" },
        DecodeCase { "HighLeadThreeBytes", "\xA4\xB8\x80", "\xD2\xBB" },
        DecodeCase { "OverlongPasses", "\xC1\x81", "A" },
        DecodeCase { "SurrogateBecomesQuestionMark", "a\xED\xA0\x80", "a?" },
        DecodeCase { "NotInGbkBecomesQuestionMark", "\xED\x95\x9C", "?" }, // Hangul
        DecodeCase { "FourByteSequenceFails",
            "a\xF0\x9F\x98\x80"
            "b",
            "" },
        DecodeCase { "FourByteSequenceAtEndFails", "abc\xF0\x9F\x98\x80", "" },
        DecodeCase { "TruncatedAtEndFails", "ab\xE4\xB8", "" }, DecodeCase { "BadContinuationFails", "\xC3\x41", "" },
        DecodeCase { "GbkTextFails", "\xB0\xD9\xB6\xC8", "" }),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

TEST(Utf8ToGbkTest, AsciiRunsAtEveryAlignmentConvert)
{
    for (int pad = 0; pad < 9; ++pad) {
        const QByteArray ascii(pad, 'x');
        const QByteArray utf8 = ascii + "共约1亿条结果" + ascii + "0123456789abcdef" + ascii;
        EXPECT_EQ(utf8ToGbk(utf8), test::gbkFromUtf8(utf8)) << pad;
    }
}

TEST(ToGbkTest, AgreesWithIconvOnEveryCharacterGbkHolds)
{
    int checked = 0;
    for (unsigned unit = 0x80; unit < 0x10000; ++unit) {
        if (unit >= 0xD800 && unit < 0xE000) {
            continue;
        }
        const QString text(QChar(static_cast<char16_t>(unit)));
        const QByteArray gbk = toGbk(text);
        if (gbk != "?") {
            ++checked;
            ASSERT_EQ(gbk, test::gbkFromUtf8(text.toUtf8())) << std::hex << unit;
        }
    }
    EXPECT_GT(checked, 21000); // GBK holds some 21800 characters beyond ASCII
}

TEST(FromGbkTest, RoundTripsChineseText)
{
    const QString text = QStringLiteral("岚衡搜索引擎收录查询V1.0，查询完毕：example.com");
    EXPECT_EQ(fromGbk(toGbk(text)), text);
}

TEST(FromGbkTest, InvalidBytesBecomeReplacementCharacters)
{
    EXPECT_EQ(fromGbk("a\xFF"
                      "b"),
        QStringLiteral("a\uFFFDb"));
    EXPECT_EQ(fromGbk("a\xB0"), QStringLiteral("a\uFFFD")); // lead byte cut off by the end
}

} // namespace
} // namespace shoulu
