#include "archive/PageArchive.h"
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
            auto id = (*archive)->store({ QStringLiteral("a.example"), QString::fromLatin1(engine), at, "", 200,
                "text/html", QByteArray("<p>") + engine + "</p>", true });
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
    EXPECT_EQ(pages({ QStringLiteral("A.EXAMPLE") }).out.count(QLatin1Char('\n')), 3);
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

} // namespace
} // namespace shoulu
