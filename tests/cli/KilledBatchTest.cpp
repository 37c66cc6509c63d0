#include "archive/PageArchive.h"
#include "engines/EngineTable.h"
#include "store/Database.h"
#include "store/DomainList.h"
#include "support/CliRunner.h"
#include "support/EngineServer.h"
#include "support/QtTestApp.h"
#include "support/TempDatabase.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace shoulu::test {
namespace {

const QStringList Domains { QStringLiteral("a.example"), QStringLiteral("b.example"), QStringLiteral("c.example"),
    QStringLiteral("d.example"), QStringLiteral("e.example") };
// The last engine answers late, so that for most of a domain's turn the others' pages are
// archived while its row is still to commit.
constexpr int LateEngine = EngineCount - 1;
constexpr int LateMs = 1500;

using FetchKey = std::tuple<QString, QString, qint64>; // domain, engine, fetched at

// Every round answers with figures of its own, so that no page repeats an earlier body. The
// delays stay as they are under a sanitizer: the batch's pace is wall-clock time too.
void answerRound(EngineServer& engines, int round)
{
    for (int engine = 0; engine < EngineCount; ++engine) {
        for (int d = 0; d < Domains.size(); ++d) {
            engines.setAnswer(engine, Domains[d],
                { Count(round * 10000 + d * 100 + engine + 1), engine == LateEngine ? LateMs : 40 * engine });
        }
    }
}

// Runs the built shoulu-cli's batch with the engines as its proxy and kills it with SIGKILL
// `afterMs` after it printed `afterRows` rows. Returns the rows it printed, without their date.
QStringList runBatchAndKill(const QString& dbPath, const QByteArray& proxy, int afterRows, int afterMs)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("http_proxy"), QString::fromLatin1(proxy));
    environment.remove(QStringLiteral("no_proxy"));
    environment.remove(QStringLiteral("NO_PROXY"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(SHOULU_CLI_PROGRAM),
        { QStringLiteral("--db"), dbPath, QStringLiteral("batch"), QStringLiteral("--delay"), QStringLiteral("1") });
    QStringList rows;
    QByteArray pending;
    const auto takeLines = [&] {
        pending += child.readAllStandardOutput();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            QStringList fields = QString::fromUtf8(pending.left(end)).split(QLatin1Char(','));
            if (fields.size() > 2 && fields.first() != QLatin1String("domain")) {
                fields.removeAt(1);
                rows.append(fields.join(QLatin1Char(',')));
            }
        }
    };
    QElapsedTimer since;
    since.start();
    int seen = 0;
    while (child.state() != QProcess::NotRunning && (seen < afterRows || since.elapsed() < afterMs)) {
        child.waitForReadyRead(10);
        takeLines();
        if (seen < afterRows && rows.size() >= afterRows) {
            seen = afterRows;
            since.restart();
        }
    }
    EXPECT_NE(child.state(), QProcess::NotRunning) << "the batch ended before the kill";
    child.kill();
    child.waitForFinished(10000);
    // Rows printed just before the kill count as reported too.
    takeLines();
    return rows;
}

QString integrity(Database& db)
{
    auto check = db.prepare("PRAGMA integrity_check");
    return check && *check->step() ? check->textAt(0) : db.errorMessage();
}

TEST(KilledBatchTest, KeepsEveryPrintedRowAndMarksOnlyTheUnstoredDomainsPages)
{
    ensureQtApp();
    TempDatabase temp;
    ASSERT_TRUE(temp.ok()) << temp.error().toStdString();
    {
        auto db = temp.open();
        ASSERT_TRUE(db.ok() && DomainList((*db)->database()).replaceAll(Domains).ok());
    }
    EngineServer engines;
    const QString pagesFile = PageArchive::fileBeside(temp.path());

    // A domain's turn takes about two seconds, its row last: kills in the middle of the first
    // turn, the moment a row is printed (twice: the race is close) and late in the third turn.
    const struct
    {
        int afterRows;
        int afterMs;
    } kills[] = { { 0, 900 }, { 1, 0 }, { 2, 0 }, { 2, 1600 } };
    std::set<QString> reported;
    qint64 lastFetchId = 0;
    int withoutReading = 0;
    for (int round = 0; round < int(std::size(kills)); ++round) {
        SCOPED_TRACE(round);
        answerRound(engines, round);
        const QStringList rows
            = runBatchAndKill(temp.path(), engines.proxyUrl(), kills[round].afterRows, kills[round].afterMs);
        reported.insert(rows.begin(), rows.end());

        auto db = temp.open();
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
        Database& settings = (*db)->database();
        EXPECT_EQ(integrity(settings), QStringLiteral("ok"));
        QByteArray columns = "domain";
        for (int i = 0; i < EngineCount; ++i) {
            columns += QByteArray(", ") + engineInfo(i).name;
        }
        std::set<QString> stored;
        auto rowsSql = settings.prepare(QByteArray("SELECT " + columns + " FROM shoulu").constData());
        ASSERT_TRUE(rowsSql.ok());
        while (*rowsSql->step()) {
            QStringList fields { rowsSql->textAt(0) };
            for (int i = 1; i <= EngineCount; ++i) {
                fields.append(QString::number(rowsSql->int64At(i)));
            }
            stored.insert(fields.join(QLatin1Char(',')));
        }
        for (const QString& row : reported) {
            EXPECT_EQ(stored.count(row), 1u) << "printed row missing: " << row.toStdString();
        }
        std::set<FetchKey> readings;
        auto readingSql = settings.prepare("SELECT s.domain, r.engine, r.fetched_at FROM reading r"
                                           " JOIN shoulu s ON s.id = r.shoulu_id WHERE r.fetched_at IS NOT NULL");
        ASSERT_TRUE(readingSql.ok());
        while (*readingSql->step()) {
            readings.insert(
                FetchKey { readingSql->textAt(0).toLower(), readingSql->textAt(1), readingSql->int64At(2) });
        }

        auto archive = PageArchive::open(pagesFile, PageArchive::Mode::Existing);
        ASSERT_TRUE(archive.ok()) << archive.error().toStdString();
        EXPECT_EQ(integrity((*archive)->database()), QStringLiteral("ok"));
        auto fetches = (*archive)->list({});
        ASSERT_TRUE(fetches.ok()) << fetches.error().toStdString();
        std::map<QString, std::set<QString>> unlinkedIds; // by domain
        std::set<QString> inFlight;
        int newWithoutReading = 0;
        for (const ArchivedFetch& fetch : *fetches) {
            const bool read = readings.count(FetchKey { fetch.domain.toLower(), fetch.engine, fetch.fetchedAt }) == 1;
            EXPECT_EQ(fetch.hasReading, read) << fetch.domain.toStdString() << ' ' << fetch.engine.toStdString();
            if (!fetch.hasReading) {
                unlinkedIds[fetch.domain].insert(QString::number(fetch.id));
                if (fetch.id > lastFetchId) {
                    ++newWithoutReading;
                    inFlight.insert(fetch.domain);
                }
            }
            lastFetchId = std::max(lastFetchId, fetch.id);
        }
        // Only domains whose turn had not ended in a printed row when the kill came; on a slow
        // machine a turn may outlast the pace, so there can be more than one.
        for (const QString& domain : inFlight) {
            const bool printed = std::any_of(rows.begin(), rows.end(),
                [&](const QString& row) { return row.startsWith(domain + QLatin1Char(','), Qt::CaseInsensitive); });
            EXPECT_FALSE(printed) << domain.toStdString();
        }
        EXPECT_LE(newWithoutReading, EngineCount * int(inFlight.size()));
        withoutReading += newWithoutReading;
        archive->reset();

        for (const QString& domain : Domains) {
            const CliRun listed = runCli({ QStringLiteral("--db"), temp.path(), QStringLiteral("pages"), domain });
            ASSERT_EQ(listed.exitCode, 0) << listed.err.toStdString();
            std::set<QString> marked;
            for (const QString& line : listed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1)) {
                const QStringList fields = line.split(QLatin1Char('\t'));
                if (fields.value(3) == QLatin1String("no-reading")) {
                    marked.insert(fields.first());
                }
            }
            EXPECT_EQ(marked, unlinkedIds[domain]) << domain.toStdString();
        }
    }
    // Otherwise no kill landed inside a domain's turn and the marks went untried.
    ASSERT_GT(withoutReading, 0);

    // A size limit that the pages without readings alone cannot meet: they all go, and only then
    // pages with readings.
    qint64 limit = 0;
    qint64 linkedBefore = 0;
    {
        auto archive = PageArchive::open(pagesFile, PageArchive::Mode::Existing);
        ASSERT_TRUE(archive.ok());
        Database& db = (*archive)->database();
        limit = *db.singleInt("SELECT (SELECT sum(stored_size) FROM body) + (SELECT coalesce(sum(length(data)), 0)"
                              " FROM dictionary) - (SELECT sum(stored_size) FROM body WHERE id NOT IN"
                              " (SELECT body_id FROM fetch WHERE linked = 1)) - 1");
        linkedBefore = *db.singleInt("SELECT count(*) FROM fetch WHERE linked = 1");
    }
    const CliRun pruned = runCli({ QStringLiteral("--db"), temp.path(), QStringLiteral("pages"),
        QStringLiteral("prune"), QStringLiteral("--max-size"), QString::number(limit), QStringLiteral("--yes") });
    ASSERT_EQ(pruned.exitCode, 0) << pruned.err.toStdString();
    auto archive = PageArchive::open(pagesFile, PageArchive::Mode::Existing);
    ASSERT_TRUE(archive.ok());
    Database& db = (*archive)->database();
    EXPECT_EQ(*db.singleInt("SELECT count(*) FROM fetch WHERE linked = 0"), 0);
    const qint64 linkedAfter = *db.singleInt("SELECT count(*) FROM fetch WHERE linked = 1");
    EXPECT_LT(linkedAfter, linkedBefore);
    EXPECT_GT(linkedAfter, 0);
}

} // namespace
} // namespace shoulu::test
