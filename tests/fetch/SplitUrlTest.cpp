#include "fetch/SplitUrl.h"

#include "fetch/RequestUrl.h"

#include <gtest/gtest.h>

using namespace shoulu;

namespace {

struct SplitCase
{
    const char* fault;
    QByteArray url;
    QByteArray host;
    QByteArray path;
    int port;
};

std::ostream& operator<<(std::ostream& out, const SplitCase& c)
{
    return out << c.fault;
}

class SplitUrlCases : public testing::TestWithParam<SplitCase>
{
};

TEST_P(SplitUrlCases, SplitsHostPathAndPort)
{
    const SplitCase& c = GetParam();
    const UrlParts parts = SplitUrl(c.url);
    EXPECT_EQ(parts.host, c.host) << c.url.constData();
    EXPECT_EQ(parts.path, c.path) << c.url.constData();
    EXPECT_EQ(parts.port, c.port) << c.url.constData();
}

INSTANTIATE_TEST_SUITE_P(SplitUrl, SplitUrlCases,
    testing::Values(SplitCase { "PrefixAndHostAloneLosesDefaultPathOrPort", "http://www.a.com", "www.a.com", "/", 80 },
        SplitCase {
            "CapitalPrefixNotRecognisedOrCaseFolded", "HTTP://Www.A.com/Path?Q=X", "Www.A.com", "/Path?Q=X", 80 },
        SplitCase { "MixedCasePrefixNotRecognised", "hTtP://h/x", "h", "/x", 80 },
        SplitCase { "NoPrefixSplitDifferently", "www.a.com/s?wd=1", "www.a.com", "/s?wd=1", 80 },
        SplitCase { "PortWithoutPathIgnored", "http://h:8080", "h", "/", 8080 },
        SplitCase { "PortWithPathIgnored", "h:8080/p", "h", "/p", 8080 },
        SplitCase { "EmptyPortTextNotDefaulted", "h:/p", "h", "/p", 80 },
        SplitCase { "LetterPortTextNotDefaulted", "h:abc/p", "h", "/p", 80 },
        SplitCase { "DigitsThenLettersReadAsNumber", "h:81x", "h", "/", 80 },
        SplitCase { "SecondColonReadAsPartOfNumber", "h:81:82", "h", "/", 80 },
        SplitCase { "HugePortOverflowsInsteadOfDefaulting", "h:99999999999", "h", "/", 80 },
        SplitCase { "HttpsDefaultsTo443", "https://h/p", "h", "/p", 443 },
        SplitCase { "HttpsKeepsGivenPort", "HTTPS://h:8443/p", "h", "/p", 8443 },
        SplitCase { "OtherSchemeTakenAsPrefix", "ftp://h/p", "ftp", "//h/p", 80 },
        SplitCase {
            "ColonInQueryTakenAsPort", "http://www.b.com/s?wd=site:a.com", "www.b.com", "/s?wd=site:a.com", 80 },
        SplitCase { "EmptyAddressCrashes", "", "", "/", 80 },
        SplitCase { "PrefixAloneCrashes", "http://", "", "/", 80 },
        SplitCase { "PrefixWithOneSlashTakenAsPrefix", "http:/h", "http", "/h", 80 },
        SplitCase { "RawBytesInPathAltered", "http://h/s?wd=\xB0\xD9 x%20", "h", "/s?wd=\xB0\xD9 x%20", 80 }),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.fault); });

struct WireCase
{
    const char* fault;
    UrlParts parts;
    QByteArray url; // empty: an error is expected
};

std::ostream& operator<<(std::ostream& out, const WireCase& c)
{
    return out << c.fault;
}

class RequestUrlCases : public testing::TestWithParam<WireCase>
{
};

TEST_P(RequestUrlCases, BuildsWireAddressOrRefuses)
{
    const WireCase& c = GetParam();
    const Result<QByteArray> url = RequestUrl(c.parts);
    if (c.url.isEmpty()) {
        EXPECT_FALSE(url.ok()) << url.value().constData();
        if (!url.ok()) {
            EXPECT_FALSE(url.error().isEmpty());
        }
    } else {
        ASSERT_TRUE(url.ok()) << url.error().toStdString();
        EXPECT_EQ(url.value(), c.url);
    }
}

INSTANTIATE_TEST_SUITE_P(RequestUrl, RequestUrlCases,
    testing::Values(WireCase { "DefaultPortWrittenOut", { "www.a.com", "/s?wd=x", 80 }, "http://www.a.com/s?wd=x" },
        WireCase { "OtherPortDropped", { "127.0.0.1", "/", 8080 }, "http://127.0.0.1:8080/" },
        WireCase { "SpaceNotEncoded", { "h", "/s?wd=a b", 80 }, "http://h/s?wd=a%20b" },
        WireCase { "ControlBytesNotEncoded", { "h", QByteArray("/\t\r\n\x7F\0", 6), 80 }, "http://h/%09%0D%0A%7F%00" },
        WireCase { "HashCutAsFragment", { "h", "/a#b", 80 }, "http://h/a%23b" },
        WireCase { "GbkBytesEncoded", { "h", "/s?wd=\xB0\xD9\xB6\xC8", 80 }, "http://h/s?wd=\xB0\xD9\xB6\xC8" },
        WireCase { "PercentAndDotsRewritten", { "h", "/../a%2Fb/./c", 80 }, "http://h/../a%2Fb/./c" },
        WireCase { "EmptyHostAccepted", { "", "/", 80 }, "" },
        WireCase { "UserInfoInHostAccepted", { "user@evil", "/", 80 }, "" },
        WireCase { "SpaceInHostAccepted", { "a b", "/", 80 }, "" },
        WireCase { "QueryInHostAccepted", { "h?x", "/", 80 }, "" },
        WireCase { "PortZeroAccepted", { "h", "/", 0 }, "" }, WireCase { "NegativePortAccepted", { "h", "/", -1 }, "" },
        WireCase { "PortAboveRangeAccepted", { "h", "/", 65536 }, "" }),
    [](const testing::TestParamInfo<WireCase>& info) { return std::string(info.param.fault); });

} // namespace
