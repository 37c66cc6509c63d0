#include "engines/ByteText.h"

#include <QStringBuilder>

#include <gtest/gtest.h>

#include <random>

namespace shoulu {
namespace {

const QByteArray kAbout("\xD4\xBC"); // 约 in GBK

TEST(FindTest, GivesOneBasedPositionOfFirstOccurrenceOrZero)
{
    EXPECT_EQ(Find("cd", "abcdcd"), 3);
    EXPECT_EQ(Find("ab", "abab"), 1);
    EXPECT_EQ(Find("A", "a"), 0);
    EXPECT_EQ(Find("abcd", "abc"), 0);
    EXPECT_EQ(Find("", "abc"), 0);
    EXPECT_EQ(Find("a", ""), 0);
    EXPECT_EQ(Find(kAbout, "\xB0\xD4\xBC"), 2); // raw bytes: a match may begin on a trail byte
}

TEST(FindBeforeTest, AgreesWithFindOnRandomTexts)
{
    // A small alphabet makes near misses common, so every vector block holds candidates.
    std::mt19937 random(20120315);
    const auto randomText = [&](unsigned maxLength) {
        QByteArray text(static_cast<qsizetype>(random() % (maxLength + 1)), '\0');
        for (char& c : text) {
            c = "ab<\xB0"[random() % 4];
        }
        return text;
    };
    for (int round = 0; round < 20000; ++round) {
        const QByteArray text = randomText(round % 2 ? 60 : 300);
        const QByteArray first = randomText(round % 3 ? 4 : 24);
        const QByteArray second = randomText(round % 5 ? 4 : 24);
        const qsizetype firstAt = Find(first, text);
        const qsizetype secondAt = Find(second, text);
        const FoundPair found = FindBefore(first, second, text);
        const std::string inputs = QByteArray(text + "|" + first + "|" + second).toHex(' ').toStdString();
        ASSERT_EQ(found.second, secondAt) << inputs;
        ASSERT_EQ(found.first, secondAt == 0 || firstAt < secondAt ? firstAt : 0) << inputs;
    }
}

TEST(CutTest, ClampsStartAndLength)
{
    EXPECT_EQ(Cut("abcdef", 3, 2), "cd");
    EXPECT_EQ(Cut("abcdef", 6, 5), "f");
    EXPECT_EQ(Cut("abcdef", -3, 2), "ab"); // a start below 1 counts as 1, the length stays
    EXPECT_EQ(Cut("abcdef", 7, 1), "");
    EXPECT_EQ(Cut("abcdef", 2, -1), "");
    EXPECT_EQ(Cut("", 1, 5), "");
}

struct RemoveCase
{
    const char* name;
    QByteArray pattern;
    QByteArray text;
    QByteArray expected;
};

class RemoveAllTest : public testing::TestWithParam<RemoveCase>
{
};

TEST_P(RemoveAllTest, DeletesEveryOccurrence)
{
    EXPECT_EQ(RemoveAll(GetParam().pattern, GetParam().text).toHex(' '), GetParam().expected.toHex(' '));
}

INSTANTIATE_TEST_SUITE_P(Cases, RemoveAllTest,
    testing::Values(RemoveCase { "Commas", ",", "1,234,567", "1234567" }, RemoveCase { "OnlyPattern", ",", ",,,", "" },
        RemoveCase { "EmptyPattern", "", "abc", "abc" }, RemoveCase { "JoinedNotSearchedAgain", "ab", "aabb", "ab" },
        RemoveCase { "NonOverlapping", "aa", "aaa", "a" },
        RemoveCase { "WholeCharacters", kAbout,
            "\xD4\xBC"
            "1"
            "\xD4\xBC",
            "1" },
        // D4 BC here is the trail of one character and the lead of the next.
        RemoveCase { "NotOnTrailByte", kAbout, "\xB0\xD4\xBC\x31", "\xB0\xD4\xBC\x31" },
        RemoveCase { "AfterTwoByteCharacter", kAbout, "\xB0\xA1\xD4\xBC", "\xB0\xA1" }),
    [](const testing::TestParamInfo<RemoveCase>& info) { return std::string(info.param.name); });

TEST(IsAllDigitsTest, AcceptsOnlyAsciiDigits)
{
    EXPECT_TRUE(IsAllDigits(""));
    EXPECT_TRUE(IsAllDigits("0123456789"));
    for (const char* text : { "12a", "-1", " 1", "1.5", "/", ":", "\xA3\xB1" }) {
        EXPECT_FALSE(IsAllDigits(text)) << text;
    }
}

TEST(SplitTextTest, HasOnePieceMoreThanOccurrences)
{
    const QByteArray yi("\xD2\xDA");
    EXPECT_TRUE(SplitText("", yi).isEmpty());
    EXPECT_EQ(SplitText(QByteArray("1" + yi), yi), (QList<QByteArray> { "1", "" }));
    EXPECT_EQ(SplitText(yi, yi), (QList<QByteArray> { "", "" }));
    EXPECT_EQ(SplitText("a,b,,c", ","), (QList<QByteArray> { "a", "b", "", "c" }));
    EXPECT_EQ(SplitText("abc", ","), (QList<QByteArray> { "abc" }));
}

} // namespace
} // namespace shoulu
