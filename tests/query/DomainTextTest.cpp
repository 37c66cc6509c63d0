#include "query/DomainText.h"

#include <gtest/gtest.h>

#include <ostream>

namespace shoulu {
namespace {

struct DomainCase
{
    const char* name;
    QString text;
    QString domain; // when accepted
    DomainFault fault = DomainFault::None;
    int position = 0;
    char32_t character = 0; // checked when given
};

void PrintTo(const DomainCase& c, std::ostream* os)
{
    *os << c.name;
}

class CheckDomainTest : public ::testing::TestWithParam<DomainCase>
{
};

TEST_P(CheckDomainTest, CleansOrRefusesWithTheCause)
{
    const DomainCheck check
        = checkDomain(GetParam().text, { QStringLiteral("old name.com"), QStringLiteral("<b>\"x\".com") });
    EXPECT_EQ(check.fault, GetParam().fault) << check.message().toStdString();
    EXPECT_EQ(check.domain, GetParam().domain);
    EXPECT_EQ(check.position, GetParam().position);
    if (GetParam().character != 0) {
        EXPECT_EQ(check.character, GetParam().character);
    }
    EXPECT_EQ(check.ok(), check.message().isEmpty());
}

const QString Host253 = QString(249, QLatin1Char('a')) + QStringLiteral(".com");

INSTANTIATE_TEST_SUITE_P(Texts, CheckDomainTest,
    ::testing::Values(DomainCase { "Trimmed", QStringLiteral(" \tlead.com  \r"), QStringLiteral("lead.com") },
        DomainCase { "Chinese", QStringLiteral("例子.中国"), QStringLiteral("例子.中国") },
        DomainCase { "PastedUrlCutToHostAndPath", QStringLiteral("http://www.example.com/news/?x=1#top"),
            QStringLiteral("www.example.com/news/") },
        DomainCase { "UserPortAndRootPathDropped", QStringLiteral("HTTPS://me@Example.com:8080/"),
            QStringLiteral("Example.com") },
        DomainCase { "ReservedCharactersInThePathKeptForTheWire", QStringLiteral("a.com/s&wd=evil;x=(1)"),
            QStringLiteral("a.com/s&wd=evil;x=(1)") },
        DomainCase { "PunycodeAndDigits", QStringLiteral("xn--fiqs8s.1-2.cn"), QStringLiteral("xn--fiqs8s.1-2.cn") },
        DomainCase { "ChinesePathAndPercentEscape", QStringLiteral("例子.中国/新闻/%E4%B8%AD"),
            QStringLiteral("例子.中国/新闻/%E4%B8%AD") },
        DomainCase { "AmpersandInTheHost", QStringLiteral("a.com&wd=evil"), {}, DomainFault::HostCharacter, 6, U'&' },
        DomainCase { "MarkupInTheHost", QStringLiteral("<script>alert(1)</script>.com"), {}, DomainFault::HostCharacter,
            1, U'<' },
        DomainCase {
            "SpreadsheetFormula", QStringLiteral("=HYPERLINK(\"http://x\")"), {}, DomainFault::HostCharacter, 1, U'=' },
        DomainCase { "QuoteInTheHost", QStringLiteral("a\"b.com"), {}, DomainFault::HostCharacter, 2, U'"' },
        DomainCase { "FaultCountedPastSchemeAndUser", QStringLiteral(" http://me@a_b.com/"), {},
            DomainFault::HostCharacter, 13, U'_' },
        DomainCase { "HostAfterAWideCharacter", QStringLiteral("😀.com"), {}, DomainFault::HostCharacter, 1 },
        DomainCase { "PortWithoutScheme", QStringLiteral("a.com:8080"), {}, DomainFault::HostCharacter, 6, U':' },
        DomainCase { "EmptyLabelInside", QStringLiteral("a..b"), {}, DomainFault::EmptyLabel, 3, U'.' },
        DomainCase { "EmptyFirstLabel", QStringLiteral(".com"), {}, DomainFault::EmptyLabel, 1, U'.' },
        DomainCase { "EmptyLastLabel", QStringLiteral("a.com./x"), {}, DomainFault::EmptyLabel, 6, U'.' },
        DomainCase { "LeadingHyphen", QStringLiteral("-odd.com"), {}, DomainFault::LabelHyphen, 1, U'-' },
        DomainCase { "HyphenBeforeADot", QStringLiteral("odd-.com"), {}, DomainFault::LabelHyphen, 4, U'-' },
        DomainCase { "TrailingHyphen", QStringLiteral("odd.com-"), {}, DomainFault::LabelHyphen, 8, U'-' },
        DomainCase { "QuoteInThePath", QStringLiteral("a.com/x'y"), {}, DomainFault::PathCharacter, 8, U'\'' },
        DomainCase { "AngleBracketInThePathAfterAWideCharacter", QStringLiteral("a.com/𠀀<"), {},
            DomainFault::PathCharacter, 8, U'<' },
        DomainCase { "LoneEscapeInThePath", QStringLiteral("a.com/%4g"), {}, DomainFault::PathCharacter, 7, U'%' },
        DomainCase { "Escape", QStringLiteral(" a\x1b[2J.com"), {}, DomainFault::ControlCharacter, 3 },
        DomainCase { "InnerLineBreak", QStringLiteral("a.com\nb.com"), {}, DomainFault::ControlCharacter, 6 },
        DomainCase { "Nul", QString::fromUtf16(u"a\0b", 3), {}, DomainFault::ControlCharacter, 2 },
        DomainCase { "RightToLeftOverride", QStringLiteral("a\u202Eb.com"), {}, DomainFault::ControlCharacter, 2 },
        DomainCase { "InnerBlank", QStringLiteral("a b.com"), {}, DomainFault::Blank, 2 },
        DomainCase { "IdeographicSpace", QStringLiteral("例子\u3000.中国"), {}, DomainFault::Blank, 3 },
        DomainCase { "Backslash", QStringLiteral("a\\u001b.com"), {}, DomainFault::Backslash, 2 },
        DomainCase { "HostOf253", Host253, Host253 },
        DomainCase { "HostOf254", QLatin1Char('a') + Host253, {}, DomainFault::HostTooLong },
        DomainCase { "HundredKilobytes", QString(100000, QLatin1Char('a')), {}, DomainFault::HostTooLong },
        DomainCase {
            "PathOver2048", QStringLiteral("a.com/") + QString(2043, QLatin1Char('p')), {}, DomainFault::TooLong },
        DomainCase { "Blank", QStringLiteral(" \t "), {}, DomainFault::Empty },
        DomainCase { "OldListedNameStaysUsable", QStringLiteral(" old name.com "), QStringLiteral("old name.com") },
        DomainCase { "OldListedMarkupStaysUsable", QStringLiteral("<b>\"x\".com"), QStringLiteral("<b>\"x\".com") }),
    [](const ::testing::TestParamInfo<DomainCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace shoulu
