#include "cli/RowFormat.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

namespace shoulu::cli {
namespace {

ResultRow row(const QString& domain, Count first)
{
    ResultRow r;
    r.domain = domain;
    for (size_t i = 0; i < r.counts.size(); ++i) {
        r.counts[i] = first * static_cast<Count>(i + 1);
    }
    r.searchTime = QDateTime(QDate(2024, 1, 9), QTime(8, 7, 6));
    r.yyyy = 2024;
    r.mm = 1;
    r.dd = 9;
    return r;
}

struct WidthCase
{
    const char* text;
    int width;
};

void PrintTo(const WidthCase& c, std::ostream* os)
{
    *os << c.text;
}

class DisplayWidthTest : public ::testing::TestWithParam<WidthCase>
{
};

TEST_P(DisplayWidthTest, WideCharactersTakeTwoColumns)
{
    EXPECT_EQ(displayWidth(QString::fromUtf8(GetParam().text)), GetParam().width);
}

INSTANTIATE_TEST_SUITE_P(Texts, DisplayWidthTest,
    ::testing::Values(WidthCase { "", 0 }, WidthCase { "a.com", 5 }, WidthCase { "中文.中国", 9 },
        WidthCase { "查询日期", 8 }, WidthCase { "ｆｕｌｌ", 8 }, WidthCase { "한국.kr", 7 },
        WidthCase { "\xf0\xa0\x80\x80", 2 }));

TEST(RowFormatTest, FormatNamesAreExact)
{
    EXPECT_EQ(rowFormatFromName(QStringLiteral("table")), RowFormat::Table);
    EXPECT_EQ(rowFormatFromName(QStringLiteral("csv")), RowFormat::Csv);
    EXPECT_EQ(rowFormatFromName(QStringLiteral("json")), RowFormat::Json);
    EXPECT_FALSE(rowFormatFromName(QStringLiteral("CSV")).has_value());
    EXPECT_FALSE(rowFormatFromName(QString()).has_value());
}

// Every column after the domain starts at the same terminal column in every line, whatever
// mix of wide and narrow characters the domains hold.
TEST(RowFormatTest, TableColumnsAlignWithWideCharacters)
{
    const std::vector<ResultRow> rows { row(QStringLiteral("a.com"), 1),
        row(QStringLiteral("很长的中文域名.中国"), 123456), row(QStringLiteral("mixed中.com"), -1) };
    const QStringList lines = formatRows(rows, RowFormat::Table).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    const auto columnOfDate = [](const QString& line) {
        const qsizetype at = line.indexOf(QStringLiteral("2024-01-09"));
        return at < 0 ? -1 : displayWidth(line.left(at));
    };
    const int expected = columnOfDate(lines.at(1));
    ASSERT_GT(expected, 0);
    EXPECT_EQ(columnOfDate(lines.at(2)), expected);
    EXPECT_EQ(columnOfDate(lines.at(3)), expected);
    EXPECT_EQ(displayWidth(lines.at(0).left(lines.at(0).indexOf(QStringLiteral("date")))), expected);
    // Right-aligned counts end at the same column too.
    EXPECT_EQ(displayWidth(lines.at(1)), displayWidth(lines.at(2)));
    EXPECT_EQ(displayWidth(lines.at(2)), displayWidth(lines.at(3)));
}

struct CsvCase
{
    const char* name;
    QString domain;
    QString field;
};

void PrintTo(const CsvCase& c, std::ostream* os)
{
    *os << c.name;
}

class CsvFieldTest : public ::testing::TestWithParam<CsvCase>
{
};

TEST_P(CsvFieldTest, DomainQuotedOnlyWhenItMustBe)
{
    const QString csv = formatRows({ row(GetParam().domain, 1) }, RowFormat::Csv);
    EXPECT_EQ(csv,
        QStringLiteral("domain,date,baidu,google,soso,yahoo,sogou,youdao,bing\n") + GetParam().field
            + QStringLiteral(",2024-01-09,1,2,3,4,5,6,7\n"));
}

INSTANTIATE_TEST_SUITE_P(Domains, CsvFieldTest,
    ::testing::Values(CsvCase { "Plain", QStringLiteral("a.com"), QStringLiteral("a.com") },
        CsvCase { "SingleQuoteAndPercent", QStringLiteral("it's100%.com"), QStringLiteral("it's100%.com") },
        CsvCase { "Comma", QStringLiteral("a,b.com"), QStringLiteral("\"a,b.com\"") },
        CsvCase { "DoubleQuote", QStringLiteral("a\"b.com"), QStringLiteral("\"a\"\"b.com\"") },
        CsvCase { "LineBreak", QStringLiteral("a\nb"), QStringLiteral("a\\u000ab") },
        CsvCase { "Escape", QStringLiteral("a\x1b[2Jb"), QStringLiteral("a\\u001b[2Jb") }),
    [](const ::testing::TestParamInfo<CsvCase>& info) { return std::string(info.param.name); });

// Cells a spreadsheet would run as a formula are written as text; numbers stay numbers.
INSTANTIATE_TEST_SUITE_P(Formulas, CsvFieldTest,
    ::testing::Values(CsvCase { "Equals", QStringLiteral("=1+1"), QStringLiteral("'=1+1") },
        CsvCase { "Dde", QStringLiteral("=cmd|'/Ccalc'!A1"), QStringLiteral("'=cmd|'/Ccalc'!A1") },
        CsvCase { "Plus", QStringLiteral("+1+1.com"), QStringLiteral("'+1+1.com") },
        CsvCase { "Minus", QStringLiteral("-2+3.com"), QStringLiteral("'-2+3.com") },
        CsvCase { "At", QStringLiteral("@SUM(1+1)"), QStringLiteral("'@SUM(1+1)") },
        CsvCase { "FormulaWithComma", QStringLiteral("=A1,B1"), QStringLiteral("\"'=A1,B1\"") },
        CsvCase { "InnerEqualsIsFine", QStringLiteral("a=1.com"), QStringLiteral("a=1.com") }),
    [](const ::testing::TestParamInfo<CsvCase>& info) { return std::string(info.param.name); });

TEST(RowFormatTest, NegativeCountsStayNumbers)
{
    EXPECT_EQ(formatRows({ row(QStringLiteral("a.com"), -1) }, RowFormat::Csv).split(QLatin1Char('\n')).at(1),
        QStringLiteral("a.com,2024-01-09,-1,-2,-3,-4,-5,-6,-7"));
}

// An engine beyond the seven that the rows were asked gets its own column after bing in the
// table and CSV (its status after the seven's), and JSON names every engine's status, "off"
// for one the row's query did not ask.
Reading reading(ReadingStatus status, Count count)
{
    Reading r;
    r.status = status;
    r.count = count;
    return r;
}

TEST(RowFormatTest, EnginesBeyondTheSevenGetColumns)
{
    ResultRow asked = row(QStringLiteral("a.com"), 1);
    for (const char* engine : { "baidu", "google", "soso", "yahoo", "sogou", "youdao", "bing" }) {
        asked.readings.append({ QString::fromLatin1(engine), reading(ReadingStatus::Counted, 1) });
    }
    asked.readings.removeAt(1); // google switched off
    asked.readings.append({ QStringLiteral("360"), reading(ReadingStatus::Counted, 4321) });
    ResultRow blocked = asked;
    blocked.readings.last().reading = reading(ReadingStatus::Blocked, 0);
    ResultRow old = row(QStringLiteral("old.com"), 1); // stored before readings were kept
    const std::vector<ResultRow> rows { asked, blocked, old };

    const QStringList csv = formatRows(rows, RowFormat::Csv, true).split(QLatin1Char('\n'));
    EXPECT_EQ(csv.at(0),
        QStringLiteral(
            "domain,date,baidu,google,soso,yahoo,sogou,youdao,bing,360,baidu_status,google_status,soso_status,"
            "yahoo_status,sogou_status,youdao_status,bing_status,360_status"));
    EXPECT_EQ(csv.at(1),
        QStringLiteral(
            "a.com,2024-01-09,1,2,3,4,5,6,7,4321,counted,off,counted,counted,counted,counted,counted,counted"));
    EXPECT_TRUE(csv.at(2).endsWith(QStringLiteral(",7,0,counted,off,counted,counted,counted,counted,counted,blocked")));
    EXPECT_EQ(csv.at(3), QStringLiteral("old.com,2024-01-09,1,2,3,4,5,6,7,,,,,,,,,"));

    const QString json = formatRows(rows, RowFormat::Json);
    EXPECT_TRUE(
        json.contains(QStringLiteral("\"google\": \"off\"")) && json.contains(QStringLiteral("\"360\": \"counted\"")))
        << json.toStdString();
    EXPECT_TRUE(json.contains(QStringLiteral("\"counts\": {\"360\": 4321}"))) << json.toStdString();

    const QStringList table = formatRows(rows, RowFormat::Table).split(QLatin1Char('\n'));
    EXPECT_TRUE(table.at(0).endsWith(QStringLiteral("  360")) && table.at(1).endsWith(QStringLiteral(" 4321"))
        && table.at(2).endsWith(QStringLiteral(" blocked")) && table.at(1).contains(QStringLiteral(" off ")))
        << formatRows(rows, RowFormat::Table).toStdString();
}

TEST(RowFormatTest, NoFormatWritesAControlCharacterOfADomainRaw)
{
    const QString domain = QStringLiteral("a\x1b]0;x\x07\x7f\u009b\u202eb");
    for (RowFormat format : { RowFormat::Table, RowFormat::Csv, RowFormat::Json }) {
        const QString out = formatRows({ row(domain, 1) }, format);
        EXPECT_TRUE(out.contains(QStringLiteral("\\u001b]0;x\\u0007\\u007f\\u009b\\u202eb"))) << out.toStdString();
    }
}

TEST(RowFormatTest, DateFallsBackToStoredDayWhenTimeIsUnreadable)
{
    ResultRow r = row(QStringLiteral("a.com"), 1);
    r.searchTime = QDateTime();
    r.yyyy = 2023;
    r.mm = 2;
    r.dd = 3;
    EXPECT_EQ(rowDate(r), QStringLiteral("2023-02-03"));
}

TEST(RowFormatTest, EmptyViewsStillGiveHeaderOrEmptyArray)
{
    EXPECT_EQ(
        formatRows({}, RowFormat::Csv), QStringLiteral("domain,date,baidu,google,soso,yahoo,sogou,youdao,bing\n"));
    EXPECT_EQ(formatRows({}, RowFormat::Json), QStringLiteral("[]\n"));
    EXPECT_EQ(formatRows({}, RowFormat::Table).count(QLatin1Char('\n')), 1);
}

} // namespace
} // namespace shoulu::cli
