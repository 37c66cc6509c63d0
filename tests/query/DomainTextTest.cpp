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
    const DomainCheck check = checkDomain(GetParam().text, { QStringLiteral("old name.com") });
    EXPECT_EQ(check.fault, GetParam().fault) << check.message().toStdString();
    EXPECT_EQ(check.domain, GetParam().domain);
    EXPECT_EQ(check.position, GetParam().position);
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
        DomainCase {
            "ReservedCharactersKeptForTheWire", QStringLiteral("a.com&wd=evil"), QStringLiteral("a.com&wd=evil") },
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
        DomainCase { "OldListedNameStaysUsable", QStringLiteral(" old name.com "), QStringLiteral("old name.com") }),
    [](const ::testing::TestParamInfo<DomainCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace shoulu
