#include "store/DomainList.h"
#include "support/CliRunner.h"
#include "support/TempDatabase.h"

#include <QFile>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

using test::CliRun;
using test::runCli;

class DomainsCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString(); }

    CliRun domains(QStringList args, const QByteArray& input = {})
    {
        args.prepend(QStringLiteral("domains"));
        args.prepend(m_temp.path());
        args.prepend(QStringLiteral("--db"));
        return runCli(args, input);
    }

    QString listed()
    {
        const CliRun run = domains({});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.out;
    }

    test::TempDatabase m_temp;
};

TEST_F(DomainsCommandTest, EmptyListPrintsNothing)
{
    const CliRun run = domains({});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty());
}

TEST_F(DomainsCommandTest, AddStoresEachTrimmedUnlessListedAndListKeepsOrder)
{
    const CliRun run = domains({ QStringLiteral("add"), QStringLiteral("b.com"), QStringLiteral(" A.com\t"),
        QStringLiteral("B.COM"), QStringLiteral("a.com/100%25"), QStringLiteral("中文.中国") });
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(listed(), QStringLiteral("b.com\nA.com\na.com/100%25\n中文.中国\n"));
}

// A name an older version let in stays listed and removable; only new input meets the rule.
TEST_F(DomainsCommandTest, NewNamesMeetTheRuleWhileOldOnesStayUsable)
{
    {
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok());
        DomainList list((*db)->database());
        for (const QString& old : { QStringLiteral("-odd.com"), QStringLiteral("a\"b.com") }) {
            ASSERT_TRUE(list.addDomain(old).ok());
        }
    }
    ASSERT_EQ(domains({ QStringLiteral("add"), QStringLiteral("--"), QStringLiteral("-odd.com") }).exitCode, 0);
    const CliRun refused = domains({ QStringLiteral("add"), QStringLiteral("new.com"), QStringLiteral("<b>.com") });
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("'<' (U+003C) at character 1"))) << refused.err.toStdString();
    EXPECT_EQ(listed(), QStringLiteral("-odd.com\na\"b.com\n"));
    ASSERT_EQ(domains({ QStringLiteral("remove"), QStringLiteral("--"), QStringLiteral("-odd.com"),
                          QStringLiteral("a\"b.com") })
                  .exitCode,
        0);
    EXPECT_TRUE(listed().isEmpty());
}

TEST_F(DomainsCommandTest, AddOfBlankDomainWarnsAndStoresNothing)
{
    const CliRun run = domains({ QStringLiteral("add"), QStringLiteral("  "), QStringLiteral("a.com") });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(QStringLiteral("empty"))) << run.err.toStdString();
    EXPECT_EQ(listed(), QStringLiteral("a.com\n"));
}

TEST_F(DomainsCommandTest, SetFromStdinReplacesTheListByTheEditorRules)
{
    ASSERT_EQ(domains({ QStringLiteral("add"), QStringLiteral("old.com") }).exitCode, 0);
    const CliRun run = domains({ QStringLiteral("set") }, "x.com\r\n\r\n  a.com \nX.COM\nb.com");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(listed(), QStringLiteral("x.com\na.com\nb.com\n"));
}

TEST_F(DomainsCommandTest, SetFromFileReplacesTheList)
{
    const QString file = m_temp.filePath(QStringLiteral("list.txt"));
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("\xef\xbb\xbf"
                  "first.com\nsecond.com\n");
    }
    ASSERT_EQ(domains({ QStringLiteral("set"), file }).exitCode, 0);
    EXPECT_EQ(listed(), QStringLiteral("first.com\nsecond.com\n"));
}

TEST_F(DomainsCommandTest, SetOfNothingEmptiesTheListOnlyWithAllowEmpty)
{
    ASSERT_EQ(domains({ QStringLiteral("add"), QStringLiteral("a.com") }).exitCode, 0);
    for (const QByteArray& input : { QByteArray(), QByteArray("\n  \n") }) {
        const CliRun refused = domains({ QStringLiteral("set") }, input);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains(QStringLiteral("--allow-empty"))) << refused.err.toStdString();
        EXPECT_EQ(listed(), QStringLiteral("a.com\n"));
    }
    ASSERT_EQ(domains({ QStringLiteral("set"), QStringLiteral("--allow-empty") }, QByteArray()).exitCode, 0);
    EXPECT_TRUE(listed().isEmpty());
}

// Names an older version stored are listed one a line, controls escaped, and kept when sent
// back unchanged; an escaped one is refused by its line, like any bad domain, nothing stored.
TEST_F(DomainsCommandTest, OldNamesAreListedEscapedAndBadDomainsRefusedByLine)
{
    {
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok());
        DomainList list((*db)->database());
        for (const QString& old : { QStringLiteral("old name.com"), QStringLiteral("two\nlines.com") }) {
            ASSERT_TRUE(list.addDomain(old).ok());
        }
    }
    const QString shown = listed();
    EXPECT_EQ(shown, QStringLiteral("old name.com\ntwo\\u000alines.com\n"));

    const CliRun back = domains({ QStringLiteral("set") }, shown.toUtf8() + "\nx\x1b]0;pwn\x07.com\n");
    EXPECT_EQ(back.exitCode, 1);
    for (const char* named :
        { "line 2: 'two\\\\u000alines.com' is not a domain", "line 4: 'x\\u001b]0;pwn\\u0007.com'" }) {
        EXPECT_TRUE(back.err.contains(QLatin1String(named))) << named << "\n" << back.err.toStdString();
    }
    EXPECT_FALSE(back.err.contains(QLatin1Char('\x1b')));
    const CliRun add = domains({ QStringLiteral("add"), QStringLiteral("new.com"), QStringLiteral("a\tb.com") });
    EXPECT_EQ(add.exitCode, 1);
    EXPECT_TRUE(add.err.contains(QStringLiteral("U+0009"))) << add.err.toStdString();
    EXPECT_EQ(listed(), shown);

    ASSERT_EQ(domains({ QStringLiteral("set") }, "old name.com\nnew.com\n").exitCode, 0);
    EXPECT_EQ(listed(), QStringLiteral("old name.com\nnew.com\n"));
}

TEST_F(DomainsCommandTest, BadInputToSetFailsAndKeepsTheList)
{
    ASSERT_EQ(domains({ QStringLiteral("add"), QStringLiteral("kept.com") }).exitCode, 0);

    const CliRun notUtf8 = domains({ QStringLiteral("set") }, QByteArray("new.com\n\xd6\xd0\xce\xc4.com\n"));
    EXPECT_EQ(notUtf8.exitCode, 1);
    EXPECT_TRUE(notUtf8.err.contains(QStringLiteral("UTF-8"))) << notUtf8.err.toStdString();

    const CliRun missing = domains({ QStringLiteral("set"), m_temp.filePath(QStringLiteral("no-such-list.txt")) });
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("no-such-list.txt"))) << missing.err.toStdString();

    EXPECT_EQ(listed(), QStringLiteral("kept.com\n"));
}

TEST_F(DomainsCommandTest, WrongArgumentsAreUsageErrors)
{
    EXPECT_EQ(domains({ QStringLiteral("add") }).exitCode, 2);
    EXPECT_EQ(domains({ QStringLiteral("remove") }).exitCode, 2);
    EXPECT_EQ(domains({ QStringLiteral("rename"), QStringLiteral("a.com") }).exitCode, 2);
    EXPECT_EQ(domains({ QStringLiteral("set"), QStringLiteral("a"), QStringLiteral("b") }).exitCode, 2);
    EXPECT_TRUE(listed().isEmpty());
}

TEST_F(DomainsCommandTest, RemoveTakesListedNamesInAnyCaseAndRefusesAnUnlistedOneWhole)
{
    ASSERT_EQ(
        domains({ QStringLiteral("add"), QStringLiteral("a.com"), QStringLiteral("b.com"), QStringLiteral("c.com") })
            .exitCode,
        0);
    const CliRun unlisted = domains({ QStringLiteral("remove"), QStringLiteral("a.com"), QStringLiteral("x.com") });
    EXPECT_EQ(unlisted.exitCode, 1);
    EXPECT_TRUE(unlisted.err.contains(QStringLiteral("x.com"))) << unlisted.err.toStdString();
    EXPECT_EQ(listed(), QStringLiteral("a.com\nb.com\nc.com\n"));

    EXPECT_EQ(domains({ QStringLiteral("remove"), QStringLiteral(" A.COM "), QStringLiteral("c.com") }).exitCode, 0);
    EXPECT_EQ(listed(), QStringLiteral("b.com\n"));
}

TEST(DomainsCommandBadDatabaseTest, EveryActionFailsWithTheCauseAndCreatesNoFile)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("setting.dat"));
    const QList<QStringList> actions { {}, { QStringLiteral("add"), QStringLiteral("a.com") },
        { QStringLiteral("set") } };
    for (const QStringList& action : actions) {
        const CliRun run = runCli(
            QStringList { QStringLiteral("--db"), missing, QStringLiteral("domains") } + action, QByteArray("a.com\n"));
        EXPECT_EQ(run.exitCode, 1) << action.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("does not exist"))) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(missing));
    }
}

} // namespace
} // namespace shoulu
