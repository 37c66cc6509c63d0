#include "store/DomainList.h"

#include "store/Database.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

#include <ostream>

namespace shoulu {
namespace {

using test::TempDatabase;

class DomainListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
        m_db = std::move(*db);
        m_list = std::make_unique<DomainList>(m_db->database());
    }

    QStringList stored()
    {
        auto domains = m_list->loadDomain();
        EXPECT_TRUE(domains.ok()) << domains.error().toStdString();
        return domains.ok() ? *domains : QStringList { QStringLiteral("<load failed>") };
    }

    void add(const QString& text)
    {
        auto added = m_list->addDomain(text);
        ASSERT_TRUE(added.ok()) << added.error().toStdString();
    }

    TempDatabase m_temp;
    std::unique_ptr<SettingsDatabase> m_db;
    std::unique_ptr<DomainList> m_list;
};

struct TrimCase
{
    const char* name;
    QString input;
    QString expected;
};

void PrintTo(const TrimCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrimTest : public ::testing::TestWithParam<TrimCase>
{
};

TEST_P(TrimTest, RemovesOnlyCodesZeroToThirtyTwoAtBothEnds)
{
    EXPECT_EQ(trimControlAndBlank(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, TrimTest,
    ::testing::Values(TrimCase { "Blanks", QStringLiteral("  a.com  "), QStringLiteral("a.com") },
        TrimCase { "TabsAndLineEnds", QStringLiteral("\t\ra.com\r\n"), QStringLiteral("a.com") },
        TrimCase { "NulAndUnitSeparator", QString(QChar(0)) + QStringLiteral("a.com\x1f"), QStringLiteral("a.com") },
        TrimCase { "InnerBlankKept", QStringLiteral(" a b "), QStringLiteral("a b") },
        // U+3000 and U+00A0 are above 32: kept, unlike QString::trimmed().
        TrimCase { "IdeographicSpaceKept", QStringLiteral("\u3000a.com\u00a0"), QStringLiteral("\u3000a.com\u00a0") },
        TrimCase { "DelKept", QStringLiteral("a.com\x7f"), QStringLiteral("a.com\x7f") },
        TrimCase { "OnlyBlanks", QStringLiteral(" \t\n "), QString() }, TrimCase { "Empty", QString(), QString() }),
    [](const ::testing::TestParamInfo<TrimCase>& info) { return std::string(info.param.name); });

TEST_F(DomainListTest, EmptyTableLoadsNoDomains)
{
    EXPECT_TRUE(stored().isEmpty());
}

TEST_F(DomainListTest, LoadKeepsInsertionOrderNotAlphabetical)
{
    add(QStringLiteral("zeta.com"));
    add(QStringLiteral("alpha.com"));
    add(QStringLiteral("中文.com"));
    add(QStringLiteral("mid.com"));
    EXPECT_EQ(stored(),
        (QStringList { QStringLiteral("zeta.com"), QStringLiteral("alpha.com"), QStringLiteral("中文.com"),
            QStringLiteral("mid.com") }));
}

TEST_F(DomainListTest, AddStoresTrimmedText)
{
    add(QStringLiteral(" \tExample.com\r\n"));
    EXPECT_EQ(stored(), QStringList { QStringLiteral("Example.com") });
}

TEST_F(DomainListTest, AddOfOtherLetterCaseStoresNothingAndFirstCaseWins)
{
    add(QStringLiteral("Example.COM"));
    add(QStringLiteral("example.com"));
    add(QStringLiteral("EXAMPLE.COM"));
    EXPECT_EQ(stored(), QStringList { QStringLiteral("Example.COM") });
}

TEST_F(DomainListTest, AddWithStrayBlankIsNotListedTwice)
{
    add(QStringLiteral("example.com"));
    add(QStringLiteral(" example.com"));
    add(QStringLiteral("Example.com\t"));
    EXPECT_EQ(stored(), QStringList { QStringLiteral("example.com") });
}

TEST_F(DomainListTest, AddOfBlankTextStoresNothing)
{
    add(QString());
    add(QStringLiteral("   "));
    add(QStringLiteral("\r\n"));
    EXPECT_TRUE(stored().isEmpty());
}

// No user text reaches statement text: quotes, percent signs, underscores and backslashes are
// just characters, never syntax or patterns.
TEST_F(DomainListTest, QuotesAndPatternCharactersAreOrdinaryText)
{
    const QStringList odd { QStringLiteral("it's.com"), QStringLiteral("100%.com"), QStringLiteral("a_b.com"),
        QStringLiteral("say\"hi\".com"), QStringLiteral("x'); DROP TABLE domain; --"),
        QStringLiteral("back\\slash.com") };
    for (const QString& text : odd) {
        add(text);
    }
    EXPECT_EQ(stored(), odd);
    // A pattern character must not match other text: "%.com" is not "100%.com".
    add(QStringLiteral("%.com"));
    add(QStringLiteral("axb.com"));
    EXPECT_EQ(stored().size(), odd.size() + 2);
    add(QStringLiteral("IT'S.COM"));
    EXPECT_EQ(stored().size(), odd.size() + 2);
}

TEST_F(DomainListTest, DeleteEmptiesTheListAndNewDomainsFollowInOrder)
{
    add(QStringLiteral("a.com"));
    add(QStringLiteral("b.com"));
    ASSERT_TRUE(m_list->DeleteDomain().ok());
    EXPECT_TRUE(stored().isEmpty());
    add(QStringLiteral("b.com"));
    add(QStringLiteral("a.com"));
    EXPECT_EQ(stored(), (QStringList { QStringLiteral("b.com"), QStringLiteral("a.com") }));
}

struct ReplaceCase
{
    const char* name;
    QStringList lines;
    QStringList expected;
};

void PrintTo(const ReplaceCase& c, std::ostream* os)
{
    *os << c.name;
}

class ReplaceAllTest : public DomainListTest, public ::testing::WithParamInterface<ReplaceCase>
{
};

TEST_P(ReplaceAllTest, StoredListBecomesTheLinesByTheEditorRules)
{
    add(QStringLiteral("old.com"));
    add(QStringLiteral("keep.com"));
    auto replaced = m_list->replaceAll(GetParam().lines);
    ASSERT_TRUE(replaced.ok()) << replaced.error().toStdString();
    EXPECT_EQ(stored(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, ReplaceAllTest,
    ::testing::Values(ReplaceCase { "NoLinesEmptiesTheList", {}, {} },
        ReplaceCase { "SameLinesSameOrder", { QStringLiteral("old.com"), QStringLiteral("keep.com") },
            { QStringLiteral("old.com"), QStringLiteral("keep.com") } },
        ReplaceCase { "LineOrderNotOldOrder",
            { QStringLiteral("keep.com"), QStringLiteral("new.com"), QStringLiteral("old.com") },
            { QStringLiteral("keep.com"), QStringLiteral("new.com"), QStringLiteral("old.com") } },
        ReplaceCase { "LaterRepeatInOtherCasePassedOver",
            { QStringLiteral("A.com"), QStringLiteral("b.com"), QStringLiteral("a.COM") },
            { QStringLiteral("A.com"), QStringLiteral("b.com") } },
        ReplaceCase { "LinesTrimmedAndRepeatsAfterTrimPassedOver",
            { QStringLiteral("  a.com\r"), QStringLiteral("a.com"), QStringLiteral("\tb.com ") },
            { QStringLiteral("a.com"), QStringLiteral("b.com") } },
        ReplaceCase { "BlankLinesSkipped",
            { QString(), QStringLiteral("a.com"), QStringLiteral("   "), QStringLiteral("b.com"), QString() },
            { QStringLiteral("a.com"), QStringLiteral("b.com") } },
        ReplaceCase { "QuoteInALine", { QStringLiteral("it's.com"), QStringLiteral("b.com") },
            { QStringLiteral("it's.com"), QStringLiteral("b.com") } }),
    [](const ::testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

TEST_F(DomainListTest, ReplaceFailingPartWayLeavesThePreviousList)
{
    add(QStringLiteral("first.com"));
    add(QStringLiteral("second.com"));
    // A real statement failure on the third line, after the list was emptied and two lines stored.
    ASSERT_TRUE(m_db->database()
                    .exec("CREATE TRIGGER refuse BEFORE INSERT ON domain WHEN new.domain = 'boom.com'"
                          " BEGIN SELECT RAISE(ABORT, 'refused by test'); END")
                    .ok());
    auto replaced = m_list->replaceAll({ QStringLiteral("one.com"), QStringLiteral("two.com"),
        QStringLiteral("boom.com"), QStringLiteral("four.com") });
    ASSERT_FALSE(replaced.ok());
    EXPECT_TRUE(replaced.error().contains(QStringLiteral("refused by test"))) << replaced.error().toStdString();
    EXPECT_EQ(stored(), (QStringList { QStringLiteral("first.com"), QStringLiteral("second.com") }));

    // The connection is usable afterwards: no transaction was left open.
    add(QStringLiteral("third.com"));
    ASSERT_TRUE(m_db->database().exec("DROP TRIGGER refuse").ok());
    m_db.reset();
    auto reopened = m_temp.open();
    ASSERT_TRUE(reopened.ok());
    EXPECT_EQ(*DomainList((*reopened)->database()).loadDomain(),
        (QStringList { QStringLiteral("first.com"), QStringLiteral("second.com"), QStringLiteral("third.com") }));
}

} // namespace
} // namespace shoulu
