#include "store/Database.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace shoulu {
namespace {

using test::TempDatabase;

// Runs work in a child process that reports each committed step as one qint64 on a pipe, and
// kills it with SIGKILL once `steps` reports have arrived. Returns what was reported.
std::vector<qint64> runAndKill(const std::function<void(const std::function<void(qint64)>&)>& work, int steps)
{
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        work([fd = fds[1]](qint64 value) {
            if (write(fd, &value, sizeof value) != static_cast<ssize_t>(sizeof value)) {
                _exit(3);
            }
        });
        _exit(2); // the work never ends by itself
    }
    close(fds[1]);
    std::vector<qint64> reported;
    qint64 value = 0;
    while (static_cast<int>(reported.size()) < steps && read(fds[0], &value, sizeof value) == sizeof value) {
        reported.push_back(value);
    }
    kill(child, SIGKILL);
    // Reports written just before the kill are committed too.
    while (read(fds[0], &value, sizeof value) == sizeof value) {
        reported.push_back(value);
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "child ended by itself: " << status;
    return reported;
}

QString integrityCheck(Database& db)
{
    auto statement = db.prepare("PRAGMA integrity_check");
    if (!statement) {
        return statement.error();
    }
    QStringList lines;
    while (true) {
        auto row = statement->step();
        if (!row) {
            return row.error();
        }
        if (!*row) {
            break;
        }
        lines.append(statement->textAt(0));
    }
    return lines.join(QLatin1Char('\n'));
}

std::set<qint64> storedIds(Database& db)
{
    std::set<qint64> ids;
    auto statement = db.prepare("SELECT id FROM shoulu");
    while (statement && *statement->step()) {
        ids.insert(statement->int64At(0));
    }
    return ids;
}

TEST(DurabilityTest, KilledWriterLosesNoReportedRowAndLeavesASoundFile)
{
    TempDatabase temp;
    ASSERT_TRUE(temp.ok()) << temp.error().toStdString();
    std::mt19937 random(20240601);
    std::set<qint64> reported;
    const int rounds = 4;
    for (int round = 0; round < rounds; ++round) {
        const int steps = std::uniform_int_distribution<int>(5, 40)(random);
        const auto ids = runAndKill(
            [&temp](const std::function<void(qint64)>& report) {
                auto db = temp.open();
                if (!db) {
                    _exit(4);
                }
                ResultRows rows((*db)->database());
                for (int i = 0;; ++i) {
                    EngineCounts counts {};
                    counts.fill(i);
                    if (!rows.addshoulu(QStringLiteral("a.com"), QDateTime::currentDateTime(), counts)) {
                        _exit(5);
                    }
                    report((*db)->database().lastInsertId());
                }
            },
            steps);
        ASSERT_GE(static_cast<int>(ids.size()), steps) << "round " << round;
        reported.insert(ids.begin(), ids.end());
    }

    auto db = temp.open();
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    EXPECT_EQ(integrityCheck((*db)->database()), QStringLiteral("ok"));
    const std::set<qint64> stored = storedIds((*db)->database());
    for (qint64 id : reported) {
        EXPECT_TRUE(stored.count(id) == 1) << "reported row " << id << " is missing";
    }
    // At most one row per round was committed but not yet reported when the kill came.
    EXPECT_LE(stored.size(), reported.size() + rounds);
}

TEST(DurabilityTest, KilledListReplaceLeavesOneWholeList)
{
    TempDatabase temp;
    ASSERT_TRUE(temp.ok());
    const QStringList even { QStringLiteral("a.com"), QStringLiteral("b.com"), QStringLiteral("c.com") };
    QStringList odd;
    for (int i = 0; i < 40; ++i) {
        odd.append(QStringLiteral("odd%1.com").arg(i));
    }
    for (int round = 0; round < 3; ++round) {
        const auto done = runAndKill(
            [&](const std::function<void(qint64)>& report) {
                auto db = temp.open();
                if (!db) {
                    _exit(4);
                }
                DomainList list((*db)->database());
                for (qint64 i = 0;; ++i) {
                    if (!list.replaceAll(i % 2 == 0 ? even : odd)) {
                        _exit(5);
                    }
                    report(i);
                }
            },
            7 + round);
        ASSERT_FALSE(done.empty());
        auto db = temp.open();
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
        EXPECT_EQ(integrityCheck((*db)->database()), QStringLiteral("ok"));
        const QStringList stored = *DomainList((*db)->database()).loadDomain();
        // The last reported save is on disk, or the one after it, never a mix.
        const bool lastWasEven = done.back() % 2 == 0;
        EXPECT_TRUE(stored == (lastWasEven ? even : odd) || stored == (lastWasEven ? odd : even))
            << stored.join(QLatin1Char(',')).toStdString();
    }
}

} // namespace
} // namespace shoulu
