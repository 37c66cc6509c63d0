#include "archive/PageArchive.h"
#include "store/Database.h"
#include "store/ResultRows.h"
#include "support/ArchivedReply.h"
#include "support/CliRunner.h"
#include "support/TempDatabase.h"

#include <QFile>

#include <gtest/gtest.h>

namespace shoulu {
namespace {

using test::runCli;

// Three archived pages: two that no built-in rule reads and a new user rule does, and one
// that every rule reads alike.
class RereadCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok());
        ResultRows rows((*db)->database());
        auto archive = PageArchive::open(PageArchive::fileBeside(m_temp.path()), PageArchive::Mode::CreateIfMissing);
        ASSERT_TRUE(archive.ok()) << archive.error().toStdString();
        const auto keep = [&](const char* domain, int day, const char* engine, ReadingStatus status, Count count,
                              const QByteArray& body) {
            const QDateTime at(QDate(2024, 3, day), QTime(9, 0));
            EngineReading reading { QString::fromLatin1(engine), {} };
            reading.reading = { status, count, QStringLiteral("markers"), 200, {}, {}, at };
            EngineCounts counts {};
            counts[0] = count;
            ASSERT_TRUE(rows.addshoulu(QString::fromLatin1(domain), at, counts, { reading }).ok());
            ASSERT_TRUE((*archive)
                            ->store(archivedReply(QString::fromLatin1(domain), reading.engine, at.toSecsSinceEpoch(),
                                        "", 200, "text/html; charset=utf-8", body),
                                isTrustworthy(status))
                            .ok());
        };
        keep("a.example", 1, "baidu", ReadingStatus::Unreadable, 0, "<p>本站共收录 4,321 篇</p>");
        keep("b.example", 2, "baidu", ReadingStatus::Unreadable, 0, "<p>本站共收录 77 篇</p>");
        keep("b.example", 3, "baidu", ReadingStatus::Counted, 1240000,
            "<span class=\"nums_text\">百度为您找到相关结果约1,240,000个</span>");
        QFile rules(m_temp.filePath(QStringLiteral("engines.json")));
        ASSERT_TRUE(rules.open(QIODevice::WriteOnly));
        rules.write(R"({"engines": [{"key": "baidu", "count": ["共收录\\s*(?<n>[0-9,]+)\\s*篇"]}]})");
    }

    // baidu's stored figure and reading of each row, in row order.
    QStringList stored()
    {
        auto db = m_temp.open();
        auto statement = (*db)->database().prepare(
            "SELECT s.baidu, r.status, r.count, (SELECT text FROM reading_rule WHERE id = r.rule_id),"
            " r.reread_at IS NOT NULL FROM shoulu s"
            " JOIN reading r ON r.shoulu_id = s.id ORDER BY s.id");
        EXPECT_TRUE(statement.ok()) << statement.error().toStdString();
        QStringList rows;
        while (statement && *statement->step()) {
            rows.append(QStringLiteral("%1 %2 %3 %4 %5")
                            .arg(statement->int64At(0))
                            .arg(statement->textAt(1))
                            .arg(statement->int64At(2))
                            .arg(statement->textAt(3))
                            .arg(statement->int64At(4)));
        }
        return rows;
    }

    test::TempDatabase m_temp;
};

const QString Changes = QStringLiteral("a.example\t2024-03-01\tbaidu\tunreadable 0 -> counted 4321\n"
                                       "b.example\t2024-03-02\tbaidu\tunreadable 0 -> counted 77\n");

TEST_F(RereadCommandTest, DryRunReportsTheChangesAndStoresNone)
{
    const QStringList before = stored();
    const auto run
        = runCli({ QStringLiteral("--db"), m_temp.path(), QStringLiteral("reread"), QStringLiteral("--dry-run") });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(Changes)) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("2 readings changed (dry run"))) << run.out.toStdString();
    EXPECT_EQ(stored(), before);
}

TEST_F(RereadCommandTest, NewRuleChangesExactlyTheReadingsItReads)
{
    const auto run = runCli({ QStringLiteral("--db"), m_temp.path(), QStringLiteral("reread") });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(Changes)) << run.out.toStdString();
    EXPECT_EQ(stored(),
        QStringList({ QStringLiteral("4321 counted 4321 markers 1"), QStringLiteral("77 counted 77 markers 1"),
            QStringLiteral("1240000 counted 1240000 markers 0") }));
    // Read again, nothing is left to change.
    const auto again
        = runCli({ QStringLiteral("--db"), m_temp.path(), QStringLiteral("reread"), QStringLiteral("b.example") });
    EXPECT_TRUE(again.out.startsWith(QStringLiteral("2 archived pages of 1 domains"))) << again.out.toStdString();
}

} // namespace
} // namespace shoulu
