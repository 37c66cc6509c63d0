#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "support/CliRunner.h"
#include "support/EngineServer.h"
#include "support/ForeignLock.h"
#include "support/ProxyVariable.h"
#include "support/QtTestApp.h"
#include "support/TempDatabase.h"

#include <QDate>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <optional>

namespace shoulu::test {
namespace {

class QueryCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureQtApp();
        ASSERT_TRUE(m_temp.ok());
        for (int i = 0; i < EngineCount; ++i) {
            m_engines.setDefault(i, { (i + 1) * 1000 });
        }
    }

    QStringList withDb(QStringList args) const { return QStringList { QStringLiteral("--db"), m_temp.path() } + args; }

    QStringList storedDomains() const
    {
        auto db = m_temp.open();
        EXPECT_TRUE(db.ok());
        auto list = DomainList(db.value()->database()).loadDomain();
        return list.ok() ? list.value() : QStringList {};
    }

    TempDatabase m_temp;
    EngineServer m_engines;
    // The command line builds its own query, which takes the system's proxy.
    ProxyVariable m_proxyVariable { m_engines.proxyUrl() };
};

TEST_F(QueryCommandTest, queryStoresListsAndPrintsTheRowAsCsv)
{
    const CliRun run = runCli(withDb(
        { QStringLiteral("query"), QStringLiteral("example.com"), QStringLiteral("--format"), QStringLiteral("csv") }));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    EXPECT_EQ(run.out,
        QStringLiteral("domain,date,baidu,google,soso,yahoo,sogou,youdao,bing\n"
                       "example.com,%1,1000,2000,3000,4000,5000,6000,7000\n")
            .arg(today));
    EXPECT_EQ(storedDomains(), QStringList { QStringLiteral("example.com") });

    const CliRun history = runCli(withDb({ QStringLiteral("history"), QStringLiteral("--format=csv") }));
    EXPECT_EQ(history.out, run.out);
}

// Another program holds the file's lock longer than a statement's own wait: the command waits
// it out as a row commit does, and everything is written.
TEST_F(QueryCommandTest, WritesWaitOutAnotherProgramsLock)
{
    if (!ForeignLock::available()) {
        GTEST_SKIP() << "the sqlcipher shell is not installed";
    }
    const QStringList commands[] = {
        { QStringLiteral("query"), QStringLiteral("locked.example") },
        { QStringLiteral("domains"), QStringLiteral("add"), QStringLiteral("second.example") },
    };
    for (const QStringList& command : commands) {
        ForeignLock lock(m_temp.path(), 6500); // past SettingsDatabase::BusyTimeoutMs
        ASSERT_TRUE(lock.ok()) << lock.error().toStdString();
        const CliRun run = runCli(withDb(command));
        EXPECT_EQ(run.exitCode, 0) << command.join(u' ').toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(storedDomains().contains(command.last())) << command.join(u' ').toStdString();
    }
    auto db = m_temp.open();
    ASSERT_TRUE(db.ok());
    auto rows = ResultRows(db.value()->database()).latestRows();
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ(rows->front().domain, QStringLiteral("locked.example"));
}

// Blocked, failed, none and counted engines in one query: the row is stored, each reading keeps
// its word, and the exit status tells that some engine gave no figure.
TEST_F(QueryCommandTest, readingsWithoutAFigureAreNamedAndExitThree)
{
    m_engines.setPage(0, 200, "<title>百度安全验证</title>");
    m_engines.setPage(1, 429, "unusual traffic");
    m_engines.setDefault(2, { 0, 0, EngineServer::Failure::Reset });
    m_engines.setPage(4, 200, "<p>很抱歉，没有找到与“site:x”相关的网页。</p>");
    m_engines.setPage(6, 200, "<html>a page of another kind</html>");
    const CliRun run = runCli(withDb({ QStringLiteral("query"), QStringLiteral("mixed.example"),
        QStringLiteral("--format=csv"), QStringLiteral("--status") }));
    EXPECT_EQ(run.exitCode, 3) << run.err.toStdString();
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    EXPECT_EQ(run.out,
        QStringLiteral("domain,date,baidu,google,soso,yahoo,sogou,youdao,bing,baidu_status,google_status,soso_status,"
                       "yahoo_status,sogou_status,youdao_status,bing_status\n"
                       "mixed.example,%1,0,0,0,4000,0,6000,0,blocked,blocked,failed,counted,none,counted,unreadable\n")
            .arg(today));
    for (const char* named : { "mixed.example: baidu blocked", "mixed.example: google blocked",
             "mixed.example: soso failed", "mixed.example: bing unreadable" }) {
        EXPECT_TRUE(run.err.contains(QLatin1String(named))) << named << "\n" << run.err.toStdString();
    }
    EXPECT_FALSE(run.err.contains(QLatin1String("sogou")));

    const CliRun json = runCli(withDb({ QStringLiteral("history"), QStringLiteral("--format=json") }));
    EXPECT_TRUE(json.out.contains(QLatin1String("\"status\": {\"baidu\": \"blocked\", \"google\": \"blocked\", "
                                                "\"soso\": \"failed\", \"yahoo\": \"counted\", \"sogou\": \"none\"")))
        << json.out.toStdString();
    const CliRun table = runCli(withDb({ QStringLiteral("history") }));
    EXPECT_TRUE(table.out.contains(QStringLiteral(" blocked "))) << table.out.toStdString();
}

TEST_F(QueryCommandTest, batchPrintsOneLinePerStoredRowAndEnds)
{
    ASSERT_EQ(runCli(withDb({ QStringLiteral("domains"), QStringLiteral("add"), QStringLiteral("a.example"),
                         QStringLiteral("b.example") }))
                  .exitCode,
        0);
    const CliRun run = runCli(withDb({ QStringLiteral("batch"), QStringLiteral("--delay"), QStringLiteral("1") }));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("a.example,")));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("b.example,")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(",7000")));
}

// Only an engine that gave no HTTP answer at all counts as unreached; when none was reached the
// machine is offline, which an unattended run must see as a failure, with the rows still stored.
TEST_F(QueryCommandTest, noEngineReachedExitsOneAndStillStoresTheRow)
{
    using F = EngineServer::Failure;
    // Each case's domain joins the list, so its batch goes over the earlier ones too.
    const struct
    {
        const char* domain;
        F failure;
        int answering503; // engine that answers HTTP 503 instead; -1 for none
        bool deadProxy; // nothing listens on port 1 of the loopback
        int exitCode;
    } cases[] = { { "reset.example", F::Reset, -1, false, 1 }, { "proxy.example", F::None, -1, true, 1 },
        { "answered.example", F::Reset, 3, false, 3 } };
    for (const auto& c : cases) {
        for (int i = 0; i < EngineCount; ++i) {
            m_engines.setDefault(i, { 0, 0, i == c.answering503 ? F::None : c.failure });
        }
        if (c.answering503 >= 0) {
            m_engines.setPage(c.answering503, 503, "busy");
        }
        std::optional<ProxyVariable> dead;
        if (c.deadProxy) {
            dead.emplace("http://127.0.0.1:1");
        }
        for (const QStringList& args : { QStringList { QStringLiteral("query"), QString::fromLatin1(c.domain) },
                 QStringList { QStringLiteral("batch"), QStringLiteral("--delay=1") } }) {
            const CliRun run = runCli(withDb(args));
            EXPECT_EQ(run.exitCode, c.exitCode) << c.domain << run.err.toStdString();
            EXPECT_EQ(run.err.contains(QStringLiteral("no engine could be reached")), c.exitCode == 1) << c.domain;
            EXPECT_TRUE(run.out.contains(QLatin1String(c.domain))) << c.domain; // printed once stored
        }
    }
}

// The typed text cleaned: '&' stays inside the one parameter, Chinese goes as GBK.
TEST_F(QueryCommandTest, queryAsksTheCleanedDomainOrRefusesIt)
{
    for (auto [typed, asked] : { std::pair { " http://www.example.com/news/?x=1#top ", "www.example.com/news/" },
             { "a.com/s&wd=evil", "a.com/s&wd=evil" }, { "例子.中国", "例子.中国" } }) {
        const CliRun run = runCli(withDb({ QStringLiteral("query"), QString::fromUtf8(typed) }));
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_EQ(m_engines.requestsFor(0, QString::fromUtf8(asked)), 1) << asked;
    }
    const CliRun bad = runCli(withDb({ QStringLiteral("query"), QStringLiteral("a b.com") }));
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("is not a domain"))) << bad.err.toStdString();
    EXPECT_EQ(storedDomains().size(), 3);
}

// A name an older version stored is still asked, as it is; every output shows its controls escaped.
TEST_F(QueryCommandTest, oldStoredNameIsAskedAsItIsAndNeverReachesTheTerminalRaw)
{
    const QString old = QStringLiteral("old\x1b]0;pwn\x07name.com");
    {
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok());
        ASSERT_TRUE(DomainList(db.value()->database()).addDomain(old).ok());
    }
    const QString shown = QStringLiteral("old\\u001b]0;pwn\\u0007name.com");
    const CliRun batch = runCli(withDb({ QStringLiteral("batch"), QStringLiteral("--delay=1") }), {}, true);
    EXPECT_EQ(batch.exitCode, 0) << batch.err.toStdString();
    EXPECT_EQ(m_engines.requestsFor(0, old), 1);
    EXPECT_TRUE(batch.err.contains(shown)) << batch.err.toStdString();
    EXPECT_TRUE(batch.out.contains(shown)) << batch.out.toStdString();
    // The command line speaks English: no Chinese status text reaches its progress line.
    EXPECT_FALSE(batch.err.contains(QRegularExpression(QStringLiteral("[\\x{3000}-\\x{9fff}]"))))
        << batch.err.toStdString();
    // The progress line's own "erase the line" is the only escape sequence written.
    for (const QString& text : { batch.out, QString(batch.err).remove(QStringLiteral("\r\x1b[K")) }) {
        EXPECT_FALSE(text.contains(QLatin1Char('\x1b'))) << text.toStdString();
        EXPECT_FALSE(text.contains(QLatin1Char('\x07'))) << text.toStdString();
    }
}

TEST_F(QueryCommandTest, batchOverEmptyListRefusesWithAReason)
{
    const CliRun run = runCli(withDb({ QStringLiteral("batch") }));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("empty")));
    EXPECT_TRUE(run.out.isEmpty());
}

TEST_F(QueryCommandTest, usageErrorsExitTwoAndTouchNothing)
{
    const QList<QStringList> bad = {
        { QStringLiteral("query") },
        { QStringLiteral("query"), QStringLiteral("a"), QStringLiteral("b") },
        { QStringLiteral("query"), QStringLiteral("a"), QStringLiteral("--format"), QStringLiteral("xml") },
        { QStringLiteral("batch"), QStringLiteral("--delay"), QStringLiteral("0") },
        { QStringLiteral("batch"), QStringLiteral("--delay"), QStringLiteral("61") },
        { QStringLiteral("batch"), QStringLiteral("--delay"), QStringLiteral("two") },
        { QStringLiteral("batch"), QStringLiteral("--delay") },
        { QStringLiteral("batch"), QStringLiteral("extra") },
    };
    for (const QStringList& args : bad) {
        const CliRun run = runCli(withDb(args));
        EXPECT_EQ(run.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(run.err.isEmpty());
    }
    EXPECT_TRUE(storedDomains().isEmpty());
}

TEST_F(QueryCommandTest, queryOnAMissingDatabaseFailsWithoutCreatingIt)
{
    const QString missing = m_temp.filePath(QStringLiteral("absent.dat"));
    const CliRun run
        = runCli({ QStringLiteral("--db"), missing, QStringLiteral("query"), QStringLiteral("x.example") });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(missing));
    EXPECT_FALSE(QFile::exists(missing));
}

// A --pages file that is no archive: the archive says so once, from its own thread, and the
// words reach stderr before the command ends; the figures are stored and the exit is unchanged.
TEST_F(QueryCommandTest, unusableArchiveIsSaidOnceAndTheFiguresAreStored)
{
    const QString pages = m_temp.filePath(QStringLiteral("not-an-archive.dat"));
    QFile file(pages);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    ASSERT_EQ(
        runCli(withDb({ QStringLiteral("domains"), QStringLiteral("add"), QStringLiteral("b.example") })).exitCode, 0);
    const QStringList commands[] = {
        { QStringLiteral("query"), QStringLiteral("a.example"), QStringLiteral("--format=csv") },
        { QStringLiteral("batch"), QStringLiteral("--delay"), QStringLiteral("1") },
    };
    for (const QStringList& command : commands) {
        const CliRun run = runCli(withDb(QStringList { QStringLiteral("--pages"), pages } + command));
        const std::string name = command.first().toStdString();
        EXPECT_EQ(run.exitCode, 0) << name << ": " << run.err.toStdString();
        EXPECT_EQ(run.err.count(QStringLiteral("shoulu-cli: the page archive cannot be used")), 1)
            << name << ": " << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QStringLiteral(",7000"))) << name << ": " << run.out.toStdString();
    }
    EXPECT_EQ(storedDomains(), (QStringList { QStringLiteral("b.example"), QStringLiteral("a.example") }));
}

} // namespace
} // namespace shoulu::test
