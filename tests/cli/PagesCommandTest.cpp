#include "archive/ArchiveRetention.h"
#include "archive/PageArchive.h"
#include "support/ArchivedReply.h"
#include "support/CliRunner.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

namespace shoulu {
namespace {

using test::runCli;

class PagesCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
        auto archive
            = PageArchive::open(m_temp.filePath(QStringLiteral("kept.dat")), PageArchive::Mode::CreateIfMissing);
        ASSERT_TRUE(archive.ok()) << archive.error().toStdString();
        const qint64 at = QDateTime(QDate(2024, 3, 1), QTime(9, 0)).toSecsSinceEpoch();
        for (const char* engine : { "baidu", "google" }) {
            const bool cutShort = QByteArrayView(engine) == "baidu";
            auto id = (*archive)->store(archivedReply(QStringLiteral("a.example"), QString::fromLatin1(engine), at, "",
                                            200, "text/html", QByteArray("<p>") + engine + "</p>", cutShort),
                !cutShort);
            ASSERT_TRUE(id.ok());
            ASSERT_TRUE((*archive)->link(QStringLiteral("a.example"), QString::fromLatin1(engine), at).ok());
            m_ids.append(QString::number(*id));
        }
    }
    test::CliRun pages(QStringList args)
    {
        return runCli(QStringList { QStringLiteral("--pages"), m_temp.filePath(QStringLiteral("kept.dat")),
                          QStringLiteral("pages") }
            + args);
    }

    test::TempDatabase m_temp;
    QStringList m_ids;
};

TEST_F(PagesCommandTest, ListsShowsAndPrunes)
{
    const auto all = pages({ QStringLiteral("A.EXAMPLE") });
    EXPECT_EQ(all.out.count(QLatin1Char('\n')), 3);
    EXPECT_TRUE(all.out.contains(QStringLiteral("\tbaidu\tincomplete\t200\t"))) << all.out.toStdString();
    const auto google = pages({ QStringLiteral("a.example"), QStringLiteral("--engine"), QStringLiteral("google"),
        QStringLiteral("--date=2024-03-01") });
    EXPECT_TRUE(google.out.contains(QStringLiteral("\n%1\t2024-03-01 09:00:00\tgoogle\tfigure\t200\t").arg(m_ids[1])))
        << google.out.toStdString();
    EXPECT_EQ(google.out.count(QLatin1Char('\n')), 2);
    EXPECT_EQ(pages({ QStringLiteral("show"), m_ids[0] }).out, QStringLiteral("<p>baidu</p>"));
    EXPECT_EQ(pages({ QStringLiteral("prune"), QStringLiteral("--max-size"), QStringLiteral("0") }).exitCode, 0);
    EXPECT_EQ(pages({ QStringLiteral("show"), m_ids[0] }).exitCode, 1);
}

TEST_F(PagesCommandTest, BadArgumentsAreUsageErrors)
{
    const QStringList cases[] = {
        { QStringLiteral("a.example"), QStringLiteral("--date"), QStringLiteral("2024-13-01") },
        { QStringLiteral("show"), QStringLiteral("x") },
        { QStringLiteral("prune"), QStringLiteral("--max-size"), QStringLiteral("lots") },
        { QStringLiteral("a.example"), QStringLiteral("--max-age"), QStringLiteral("3") },
        { QStringLiteral("a.example"), QStringLiteral("--colour") },
    };
    for (const QStringList& args : cases) {
        const auto run = pages(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
}

// A prune that would take pages of the last 24 hours needs --yes; --dry-run only says; given
// limits are stored only with --keep-limits. Steps run in order on one archive.
TEST_F(PagesCommandTest, PruneAsksBeforeTakingTodaysPagesAndKeepsLimitsOnlyWhenTold)
{
    const QString file = m_temp.filePath(QStringLiteral("kept.dat"));
    ASSERT_TRUE((*PageArchive::open(file, PageArchive::Mode::Existing))
                    ->store(archivedReply(QStringLiteral("a.example"), QStringLiteral("bing"),
                                QDateTime::currentSecsSinceEpoch() - 60, "", 200, "text/html", "<p>today</p>"),
                        true)
                    .ok());
    const struct
    {
        const char* args;
        int exitCode;
        const char* says;
        int pagesLeft;
        int keptMaxAge;
    } steps[] = { { "prune --max-age=0", 2, "1 pages fetched in the last 24 hours (3 in all); nothing", 3, 180 },
        { "prune --max-age=0 --dry-run", 0, "would remove 3 archived pages", 3, 180 },
        { "prune --max-age=30", 0, "removed 2 archived pages", 1, 180 },
        { "prune --max-age=0 --yes --keep-limits", 0, "removed 1 archived pages", 0, 0 } };
    for (const auto& step : steps) {
        const auto run = pages(QString::fromLatin1(step.args).split(QLatin1Char(' ')));
        EXPECT_EQ(run.exitCode, step.exitCode) << step.args << run.err.toStdString();
        EXPECT_TRUE(QString(run.out + run.err).contains(QLatin1String(step.says)))
            << step.args << run.err.toStdString();
        EXPECT_EQ(pages({ QStringLiteral("a.example") }).out.count(QLatin1Char('\n')), step.pagesLeft + 1);
        auto archive = PageArchive::open(file, PageArchive::Mode::Existing);
        ASSERT_TRUE(archive.ok());
        EXPECT_EQ(ArchiveRetention(**archive).limits()->maxAgeDays, step.keptMaxAge) << step.args;
    }
}

} // namespace
} // namespace shoulu
