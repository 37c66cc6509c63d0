#include "store/ResultRows.h"

#include "engines/EngineTable.h"
#include "store/Database.h"
#include "store/DomainList.h"
#include "support/TempDatabase.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <limits>
#include <optional>
#include <ostream>

namespace shoulu {
namespace {

using test::TempDatabase;

QDateTime at(int year, int month, int day, int hour = 9, int minute = 0, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

EngineCounts countsOf(Count first)
{
    EngineCounts counts {};
    for (size_t i = 0; i < counts.size(); ++i) {
        counts[i] = first + static_cast<Count>(i);
    }
    return counts;
}

std::vector<qint64> idsOf(const std::vector<ResultRow>& rows)
{
    std::vector<qint64> ids;
    for (const ResultRow& row : rows) {
        ids.push_back(row.id);
    }
    return ids;
}

class ResultRowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
        auto db = m_temp.open();
        ASSERT_TRUE(db.ok()) << db.error().toStdString();
        m_db = std::move(*db);
        m_list = std::make_unique<DomainList>(m_db->database());
        m_rows = std::make_unique<ResultRows>(m_db->database());
    }

    void list(const QString& domain) { ASSERT_TRUE(m_list->addDomain(domain).ok()); }

    // Stores a row and returns its id.
    qint64 store(const QString& domain, const QDateTime& time, Count first = 1)
    {
        auto added = m_rows->addshoulu(domain, time, countsOf(first));
        EXPECT_TRUE(added.ok()) << added.error().toStdString();
        return added.ok() ? *added : 0;
    }

    std::vector<ResultRow> latest()
    {
        auto rows = m_rows->latestRows();
        EXPECT_TRUE(rows.ok()) << rows.error().toStdString();
        return rows.ok() ? *rows : std::vector<ResultRow> {};
    }
    std::vector<ResultRow> daily(const QString& domain)
    {
        auto rows = m_rows->dailyRows(domain);
        EXPECT_TRUE(rows.ok()) << rows.error().toStdString();
        return rows.ok() ? *rows : std::vector<ResultRow> {};
    }
    std::vector<ResultRow> chart(const QString& domain)
    {
        auto rows = m_rows->chartWindow(domain);
        EXPECT_TRUE(rows.ok()) << rows.error().toStdString();
        return rows.ok() ? *rows : std::vector<ResultRow> {};
    }

    TempDatabase m_temp;
    std::unique_ptr<SettingsDatabase> m_db;
    std::unique_ptr<DomainList> m_list;
    std::unique_ptr<ResultRows> m_rows;
};

Reading readingOf(ReadingStatus status, Count count)
{
    Reading r;
    r.status = status;
    r.count = count;
    r.rule = QStringLiteral("count: rule");
    r.httpStatus = status == ReadingStatus::Blocked ? 429 : 200;
    r.finalHost = QStringLiteral("www.example.cn");
    r.error = status == ReadingStatus::Failed ? QStringLiteral("Timeout was reached") : QString();
    r.fetchedAt = QDateTime::fromSecsSinceEpoch(1700000000);
    return r;
}

QList<EngineReading> allReading(ReadingStatus status)
{
    QList<EngineReading> readings;
    for (const char* key : { "baidu", "google", "soso", "yahoo", "sogou", "youdao", "bing" }) {
        readings.append({ QLatin1String(key), readingOf(status, status == ReadingStatus::Counted ? 9 : 0) });
    }
    return readings;
}

// A day is stood for by its newest row that holds a figure to trust; a failed query later that
// day no longer hides the good one.
TEST_F(ResultRowsTest, DaysRowIsTheNewestWithAFigureToTrust)
{
    list(QStringLiteral("a.example"));
    auto add = [&](const QDateTime& time, const QList<EngineReading>& readings) {
        EXPECT_TRUE(m_rows->addshoulu(QStringLiteral("a.example"), time, countsOf(1), readings).ok());
    };
    add(at(2024, 3, 1, 9), allReading(ReadingStatus::Counted)); // 1: kept
    add(at(2024, 3, 1, 18), allReading(ReadingStatus::Failed)); // 2
    add(at(2024, 3, 2, 9), allReading(ReadingStatus::Blocked)); // 3: the day has nothing better
    add(at(2024, 3, 3, 9), {}); // 4: from before readings, trusted
    add(at(2024, 3, 3, 18), allReading(ReadingStatus::Unreadable)); // 5
    add(at(2024, 3, 4, 9), allReading(ReadingStatus::Counted)); // 6
    add(at(2024, 3, 4, 18), allReading(ReadingStatus::None)); // 7: a true zero is a figure
    const auto daily = m_rows->dailyRows(QStringLiteral("a.example"));
    ASSERT_TRUE(daily.ok()) << daily.error().toStdString();
    EXPECT_EQ(idsOf(*daily), (std::vector<qint64> { 7, 4, 3, 1 }));
    const auto chart = m_rows->chartWindow(QStringLiteral("a.example"));
    ASSERT_TRUE(chart.ok());
    EXPECT_EQ(idsOf(*chart), (std::vector<qint64> { 1, 3, 4, 7 }));

    const ResultRow& blocked = (*daily)[2];
    ASSERT_EQ(blocked.readings.size(), 7);
    const Reading* bing = blocked.readingOf(QStringLiteral("bing"));
    ASSERT_NE(bing, nullptr);
    EXPECT_EQ(bing->status, ReadingStatus::Blocked);
    EXPECT_EQ(bing->httpStatus, 429);
    EXPECT_EQ(bing->finalHost, QStringLiteral("www.example.cn"));
    EXPECT_EQ(bing->rule, QStringLiteral("count: rule"));
    EXPECT_EQ(bing->fetchedAt, QDateTime::fromSecsSinceEpoch(1700000000));
    EXPECT_EQ((*daily)[3].readingOf(QStringLiteral("soso"))->count, 9);
    const auto latest = m_rows->latestRows();
    ASSERT_TRUE(latest.ok());
    EXPECT_EQ(latest->front().readingOf(QStringLiteral("baidu"))->status, ReadingStatus::None);
}

TEST_F(ResultRowsTest, DayWithoutAFigureToTrustIsStoodForByItsNewestRow)
{
    list(QStringLiteral("a.example"));
    auto add = [&](const QDateTime& time, ReadingStatus status) {
        EXPECT_TRUE(m_rows->addshoulu(QStringLiteral("a.example"), time, countsOf(1), allReading(status)).ok());
    };
    add(at(2024, 3, 1, 9), ReadingStatus::Blocked); // 1
    add(at(2024, 3, 1, 18), ReadingStatus::Failed); // 2: nothing better that day
    add(at(2024, 3, 2, 9), ReadingStatus::Counted); // 3
    EXPECT_EQ(idsOf(daily(QStringLiteral("a.example"))), (std::vector<qint64> { 3, 2 }));
    EXPECT_EQ(idsOf(chart(QStringLiteral("a.example"))), (std::vector<qint64> { 2, 3 }));
}

// A day's figure is chosen engine by engine: a later blocked batch does not hide the morning's
// figure of that engine, nor take the other engines' later figures away.
TEST_F(ResultRowsTest, DaysFigureIsEachEnginesNewestToTrust)
{
    using S = ReadingStatus;
    struct Asked
    {
        const char* engine;
        S status;
        Count count;
    };
    struct Stored
    {
        bool legacy; // from before readings were kept: the counts only
        std::vector<Asked> asked;
    };
    struct Expected
    {
        const char* engine;
        std::optional<S> status; // nullopt: a figure without a reading
        Count count;
    };
    struct DayCase
    {
        const char* name;
        std::vector<Stored> rows; // oldest first
        std::vector<Expected> expected;
        size_t idFrom; // the row whose id and time stand for the day
    };
    const DayCase cases[] = {
        { "later batch blocked for one engine",
            { { false, { { "google", S::Counted, 80000 }, { "baidu", S::Blocked, 0 } } },
                { false, { { "google", S::Blocked, 0 }, { "baidu", S::Counted, 5 } } } },
            { { "google", S::Counted, 80000 }, { "baidu", S::Counted, 5 } }, 1 },
        { "nothing to trust: the newest reading",
            { { false, { { "google", S::Blocked, 0 } } }, { false, { { "google", S::Failed, 0 } } } },
            { { "google", S::Failed, 0 } }, 1 },
        { "a true zero is a figure",
            { { false, { { "google", S::None, 0 } } }, { false, { { "google", S::Unreadable, -1 } } } },
            { { "google", S::None, 0 } }, 0 },
        { "old figure above 0 is trusted",
            { { true, { { "google", S::Counted, 70 } } }, { false, { { "google", S::Blocked, 0 } } } },
            { { "google", std::nullopt, 70 } }, 0 },
        { "old zero is not", { { true, { { "google", S::Counted, 0 } } }, { false, { { "google", S::Blocked, 0 } } } },
            { { "google", S::Blocked, 0 } }, 1 },
        { "engine not asked later keeps its morning figure",
            { { false, { { "bing", S::Counted, 12 }, { "extra", S::Counted, 3 } } },
                { false, { { "google", S::Counted, 9 }, { "extra", S::Blocked, 0 } } } },
            { { "bing", S::Counted, 12 }, { "google", S::Counted, 9 }, { "extra", S::Counted, 3 } }, 1 },
        { "the newest of two figures",
            { { false, { { "google", S::Counted, 1 } } }, { false, { { "google", S::Counted, 2 } } },
                { false, { { "google", S::Off, 0 } } } },
            { { "google", S::Counted, 2 } }, 1 },
    };
    const QString domain = QStringLiteral("a.example");
    list(domain);
    std::vector<std::vector<qint64>> ids;
    for (size_t day = 0; day < std::size(cases); ++day) {
        ids.emplace_back();
        for (size_t i = 0; i < cases[day].rows.size(); ++i) {
            const Stored& row = cases[day].rows[i];
            EngineCounts counts {};
            QList<EngineReading> readings;
            for (const Asked& asked : row.asked) {
                const int column = engineIndexFromText(QLatin1String(asked.engine));
                if (column >= 0 && qstrlen(asked.engine) > 1) {
                    counts[static_cast<size_t>(column)] = asked.count;
                }
                if (!row.legacy) {
                    Reading reading = readingOf(asked.status, asked.count);
                    reading.fetchedAt = QDateTime::fromSecsSinceEpoch(1700000000 + static_cast<qint64>(day * 10 + i));
                    readings.append({ QLatin1String(asked.engine), reading });
                }
            }
            const auto id = m_rows->addshoulu(
                domain, at(2024, 5, 1 + static_cast<int>(day), 8 + static_cast<int>(i)), counts, readings);
            ASSERT_TRUE(id.ok()) << id.error().toStdString();
            ids.back().push_back(*id);
        }
    }
    const std::vector<ResultRow> newestFirst = daily(domain);
    const std::vector<ResultRow> oldestFirst = chart(domain);
    ASSERT_EQ(newestFirst.size(), std::size(cases));
    ASSERT_EQ(oldestFirst.size(), std::size(cases));
    for (size_t day = 0; day < std::size(cases); ++day) {
        const DayCase& c = cases[day];
        for (const ResultRow* row : { &newestFirst[std::size(cases) - 1 - day], &oldestFirst[day] }) {
            SCOPED_TRACE(c.name);
            EXPECT_EQ(row->id, ids[day][c.idFrom]);
            EXPECT_EQ(row->searchTime, at(2024, 5, 1 + static_cast<int>(day), 8 + static_cast<int>(c.idFrom)));
            for (const Expected& e : c.expected) {
                const QString engine = QLatin1String(e.engine);
                const Reading* reading = row->readingOf(engine);
                ASSERT_EQ(reading != nullptr, e.status.has_value()) << e.engine;
                if (reading != nullptr) {
                    EXPECT_EQ(reading->status, *e.status) << e.engine;
                    EXPECT_EQ(reading->count, e.count) << e.engine;
                }
                const int column = engineIndexFromText(engine);
                if (column >= 0 && engine.size() > 1) {
                    EXPECT_EQ(row->counts[static_cast<size_t>(column)], e.count) << e.engine;
                }
            }
        }
    }
}

// A retried reading takes the skipped one's place, figure and all; a batch of replacements with
// one the row never had changes nothing.
TEST_F(ResultRowsTest, ReplacedReadingsTakeTheirPlaceWithTheirFiguresOrNoneDo)
{
    list(QStringLiteral("a.example"));
    const auto id = m_rows->addshoulu(
        QStringLiteral("a.example"), at(2024, 3, 1), countsOf(1), allReading(ReadingStatus::Blocked));
    ASSERT_TRUE(id.ok()) << id.error().toStdString();
    ASSERT_TRUE(m_rows
                    ->replaceReadings(*id,
                        { { QStringLiteral("google"), readingOf(ReadingStatus::Counted, 4321) },
                            { QStringLiteral("bing"), readingOf(ReadingStatus::None, 0) } })
                    .ok());
    EXPECT_FALSE(m_rows
                     ->replaceReadings(*id,
                         { { QStringLiteral("google"), readingOf(ReadingStatus::Counted, 1) },
                             { QStringLiteral("extra"), readingOf(ReadingStatus::Counted, 5) } })
                     .ok());
    const std::vector<ResultRow> rows = latest();
    ASSERT_EQ(rows.size(), 1u);
    const ResultRow& row = rows.front();
    EXPECT_EQ(row.counts[0], 1);
    EXPECT_EQ(row.counts[1], 4321);
    EXPECT_EQ(row.counts[6], 0);
    EXPECT_EQ(row.readingOf(QStringLiteral("google"))->count, 4321);
    EXPECT_EQ(row.readingOf(QStringLiteral("bing"))->status, ReadingStatus::None);
    EXPECT_EQ(row.readingOf(QStringLiteral("baidu"))->status, ReadingStatus::Blocked);
}

// A cool-down skip is told by its stored reason; rows stored before the reason had a column
// are told by the text they were stored with, and only a reading never fetched can be one.
TEST_F(ResultRowsTest, CoolDownSkipIsToldByItsReasonOrByTheTextOfOlderRows)
{
    list(QStringLiteral("a.example"));
    Reading skipped;
    skipped.status = ReadingStatus::Blocked;
    skipped.error = coolingErrorText();
    skipped.reason = ReadingReason::Cooling;
    Reading fetchedWithTheText = skipped;
    fetchedWithTheText.reason = ReadingReason::None;
    fetchedWithTheText.fetchedAt = at(2024, 3, 1);
    Reading blocked = readingOf(ReadingStatus::Blocked, 0);
    blocked.fetchedAt = at(2024, 3, 1);
    const struct
    {
        const char* engine;
        Reading stored;
        bool reasonErased; // as a row of the earlier layout has it
        ReadingReason read;
    } cases[] = {
        { "baidu", skipped, false, ReadingReason::Cooling },
        { "google", skipped, true, ReadingReason::Cooling },
        { "soso", fetchedWithTheText, true, ReadingReason::None },
        { "yahoo", blocked, false, ReadingReason::None },
        { "sogou", blocked, true, ReadingReason::None },
    };
    QList<EngineReading> readings;
    for (const auto& c : cases) {
        readings.append({ QLatin1String(c.engine), c.stored });
    }
    ASSERT_TRUE(m_rows->addshoulu(QStringLiteral("a.example"), at(2024, 3, 1), countsOf(0), readings).ok());
    auto stored = m_db->database().prepare("SELECT count(*) FROM reading WHERE reason = 'cooling'");
    ASSERT_TRUE(stored.ok() && *stored->step());
    EXPECT_EQ(stored->int64At(0), 2);
    for (const auto& c : cases) {
        if (c.reasonErased) {
            const QByteArray erase = QByteArray("UPDATE reading SET reason = NULL WHERE engine = '") + c.engine + "'";
            ASSERT_TRUE(m_db->database().exec(erase.constData()).ok());
        }
    }
    const std::vector<ResultRow> rows = latest();
    ASSERT_EQ(rows.size(), 1u);
    for (const auto& c : cases) {
        const Reading* read = rows.front().readingOf(QLatin1String(c.engine));
        ASSERT_NE(read, nullptr) << c.engine;
        EXPECT_EQ(int(read->reason), int(c.read)) << c.engine;
        EXPECT_EQ(read->error, c.stored.error) << c.engine;
    }
}

TEST_F(ResultRowsTest, ReadingsComeBackInColumnOrderWithOtherEnginesLast)
{
    list(QStringLiteral("a.example"));
    QList<EngineReading> readings = allReading(ReadingStatus::Counted);
    std::reverse(readings.begin(), readings.end());
    readings.prepend({ QStringLiteral("extra"), readingOf(ReadingStatus::Counted, 3) });
    ASSERT_TRUE(m_rows->addshoulu(QStringLiteral("a.example"), at(2024, 3, 1), countsOf(1), readings).ok());
    const std::vector<ResultRow> rows = latest();
    ASSERT_EQ(rows.size(), 1u);
    QStringList engines;
    for (const EngineReading& each : rows.front().readings) {
        engines.append(each.engine);
    }
    EXPECT_EQ(engines.join(u' '), QStringLiteral("baidu google soso yahoo sogou youdao bing extra"));
}

TEST_F(ResultRowsTest, EmptyTableGivesEmptyViewsAndTakesTheFirstRow)
{
    list(QStringLiteral("a.com"));
    EXPECT_TRUE(latest().empty());
    EXPECT_TRUE(daily(QStringLiteral("a.com")).empty());
    EXPECT_TRUE(chart(QStringLiteral("a.com")).empty());
    store(QStringLiteral("a.com"), at(2024, 3, 1));
    EXPECT_EQ(latest().size(), 1u);
}

TEST_F(ResultRowsTest, RowComesBackWithEveryColumnInItsPlace)
{
    list(QStringLiteral("a.com"));
    const QDateTime time = at(2024, 12, 31, 23, 59, 58);
    const qint64 id = store(QStringLiteral("\t a.com \r\n"), time, 100);
    const auto rows = latest();
    ASSERT_EQ(rows.size(), 1u);
    const ResultRow& row = rows.front();
    EXPECT_EQ(row.id, id);
    EXPECT_EQ(row.domain, QStringLiteral("a.com"));
    EXPECT_EQ(row.counts, countsOf(100)); // distinct per engine: a swapped column shows
    EXPECT_EQ(row.yyyy, 2024);
    EXPECT_EQ(row.mm, 12);
    EXPECT_EQ(row.dd, 31);
    EXPECT_EQ(row.searchTime, time);
}

TEST_F(ResultRowsTest, QueryTimeInOtherZoneIsStoredAsLocalTime)
{
    list(QStringLiteral("a.com"));
    const QDateTime utc = QDateTime(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);
    store(QStringLiteral("a.com"), utc);
    const auto rows = latest();
    ASSERT_EQ(rows.size(), 1u);
    const QDateTime local = utc.toLocalTime();
    EXPECT_EQ(rows.front().searchTime, local);
    EXPECT_EQ(rows.front().dd, local.date().day());
}

// Search times come back at the offset that was in force locally on their date, across both
// clock changes of the year; the zone is a POSIX rule, so no zoneinfo file is needed.
TEST_F(ResultRowsTest, SearchTimeKeepsItsWallClockAcrossClockChanges)
{
    const QByteArray savedTz = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    const std::vector<QDateTime> times { at(2024, 1, 15, 12), at(2024, 3, 31, 1, 30), at(2024, 3, 31, 3, 30),
        at(2024, 7, 1, 23, 59, 59), at(2024, 10, 27, 1, 30), at(2024, 10, 27, 3, 30) };
    for (size_t i = 0; i < times.size(); ++i) {
        const QString domain = QStringLiteral("d%1.com").arg(i);
        list(domain);
        store(domain, times[i]);
    }
    for (size_t i = 0; i < times.size(); ++i) {
        const auto rows = daily(QStringLiteral("d%1.com").arg(i));
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows.front().searchTime, times[i]) << times[i].toString(Qt::ISODate).toStdString();
        EXPECT_EQ(rows.front().searchTime.time(), times[i].time());
        EXPECT_EQ(rows.front().searchTime.offsetFromUtc(), times[i].offsetFromUtc());
    }
    if (hadTz) {
        qputenv("TZ", savedTz);
    } else {
        qunsetenv("TZ");
    }
    tzset();
}

class CountRoundTripTest : public ResultRowsTest, public ::testing::WithParamInterface<Count>
{
};

TEST_P(CountRoundTripTest, CountIsStoredAndReadBackUnchanged)
{
    list(QStringLiteral("a.com"));
    EngineCounts counts {};
    counts.fill(GetParam());
    ASSERT_TRUE(m_rows->addshoulu(QStringLiteral("a.com"), at(2024, 1, 1), counts).ok());
    const auto rows = daily(QStringLiteral("a.com"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.front().counts, counts);
}

INSTANTIATE_TEST_SUITE_P(Counts, CountRoundTripTest,
    ::testing::Values(Count { -1 }, Count { 0 }, Count { 2147483647 }, Count { 2147483648 }, Count { 98765432109 },
        std::numeric_limits<Count>::max()));

TEST_F(ResultRowsTest, InsertRefusesBlankDomainAndInvalidTime)
{
    EXPECT_FALSE(m_rows->addshoulu(QStringLiteral(" \t"), at(2024, 1, 1), countsOf(1)).ok());
    EXPECT_FALSE(m_rows->addshoulu(QStringLiteral("a.com"), QDateTime(), countsOf(1)).ok());
    list(QStringLiteral("a.com"));
    EXPECT_TRUE(latest().empty());
}

TEST_F(ResultRowsTest, LatestRowsTakeEachDomainsGreatestIdOrderedBySearchTimeNewestFirst)
{
    list(QStringLiteral("a.com"));
    list(QStringLiteral("b.com"));
    list(QStringLiteral("c.com"));
    store(QStringLiteral("a.com"), at(2024, 1, 1));
    const qint64 bNewest = store(QStringLiteral("b.com"), at(2024, 1, 5));
    store(QStringLiteral("c.com"), at(2024, 1, 2));
    // Stored later but with an earlier query time: greatest id wins within a domain, while
    // the order between domains follows searchtime, not id.
    const qint64 aNewest = store(QStringLiteral("a.com"), at(2023, 12, 30));
    const qint64 cNewest = store(QStringLiteral("c.com"), at(2024, 1, 3));
    EXPECT_EQ(idsOf(latest()), (std::vector<qint64> { bNewest, cNewest, aNewest }));
}

TEST_F(ResultRowsTest, LettersCaseVariantsGroupAsOneDomain)
{
    list(QStringLiteral("Example.com"));
    const qint64 first = store(QStringLiteral("example.com"), at(2024, 1, 1));
    const qint64 second = store(QStringLiteral("EXAMPLE.COM"), at(2024, 1, 2));
    const auto rows = latest();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.front().id, second);
    EXPECT_EQ(rows.front().domain, QStringLiteral("EXAMPLE.COM"));
    EXPECT_EQ(idsOf(daily(QStringLiteral("eXample.Com"))), (std::vector<qint64> { second, first }));
    EXPECT_EQ(idsOf(chart(QStringLiteral("example.com"))), (std::vector<qint64> { first, second }));
}

TEST_F(ResultRowsTest, DelistedDomainDisappearsFromEveryViewAndReturnsWhenListedAgain)
{
    list(QStringLiteral("gone.com"));
    list(QStringLiteral("stays.com"));
    const qint64 gone = store(QStringLiteral("gone.com"), at(2024, 1, 1));
    const qint64 stays = store(QStringLiteral("stays.com"), at(2024, 1, 1));
    ASSERT_TRUE(m_list->replaceAll({ QStringLiteral("stays.com") }).ok());
    EXPECT_EQ(idsOf(latest()), std::vector<qint64> { stays });
    EXPECT_TRUE(daily(QStringLiteral("gone.com")).empty());
    EXPECT_TRUE(chart(QStringLiteral("gone.com")).empty());

    list(QStringLiteral("GONE.com"));
    EXPECT_EQ(latest().size(), 2u);
    EXPECT_EQ(idsOf(daily(QStringLiteral("gone.com"))), std::vector<qint64> { gone });
    EXPECT_EQ(idsOf(chart(QStringLiteral("gone.com"))), std::vector<qint64> { gone });
}

TEST_F(ResultRowsTest, DailyViewTakesEachDaysGreatestIdNewestDayFirst)
{
    list(QStringLiteral("a.com"));
    store(QStringLiteral("a.com"), at(2024, 5, 1, 8));
    store(QStringLiteral("a.com"), at(2024, 5, 1, 12));
    const qint64 thirdOfDay = store(QStringLiteral("a.com"), at(2024, 5, 1, 16));
    const qint64 nextDay = store(QStringLiteral("a.com"), at(2024, 5, 2, 8));
    const auto rows = daily(QStringLiteral("a.com"));
    EXPECT_EQ(idsOf(rows), (std::vector<qint64> { nextDay, thirdOfDay }));
}

TEST_F(ResultRowsTest, DaysRowIsTheLastStoredNotTheLatestTime)
{
    list(QStringLiteral("a.com"));
    store(QStringLiteral("a.com"), at(2024, 5, 1, 18));
    const qint64 storedLast = store(QStringLiteral("a.com"), at(2024, 5, 1, 7));
    EXPECT_EQ(idsOf(daily(QStringLiteral("a.com"))), std::vector<qint64> { storedLast });
}

TEST_F(ResultRowsTest, DailyViewOrdersBySearchTimeNotByStorageOrder)
{
    list(QStringLiteral("a.com"));
    const qint64 later = store(QStringLiteral("a.com"), at(2024, 5, 3));
    const qint64 earlier = store(QStringLiteral("a.com"), at(2024, 5, 1));
    const qint64 middle = store(QStringLiteral("a.com"), at(2024, 5, 2));
    EXPECT_EQ(idsOf(daily(QStringLiteral("a.com"))), (std::vector<qint64> { later, middle, earlier }));
    EXPECT_EQ(idsOf(chart(QStringLiteral("a.com"))), (std::vector<qint64> { earlier, middle, later }));
}

TEST_F(ResultRowsTest, DailyViewUsesTheTextUntrimmed)
{
    list(QStringLiteral("a.com"));
    store(QStringLiteral("a.com"), at(2024, 5, 1));
    EXPECT_TRUE(daily(QStringLiteral(" a.com")).empty());
    EXPECT_TRUE(chart(QStringLiteral("a.com ")).empty());
    EXPECT_EQ(daily(QStringLiteral("a.com")).size(), 1u);
}

TEST_F(ResultRowsTest, DailyViewOfOneDomainHoldsNoOtherDomain)
{
    list(QStringLiteral("a.com"));
    list(QStringLiteral("a.com.cn"));
    list(QStringLiteral("b.com"));
    const qint64 mine = store(QStringLiteral("a.com"), at(2024, 5, 1));
    store(QStringLiteral("a.com.cn"), at(2024, 5, 1, 10));
    store(QStringLiteral("b.com"), at(2024, 5, 1, 11));
    EXPECT_EQ(idsOf(daily(QStringLiteral("a.com"))), std::vector<qint64> { mine });
}

struct ChartCase
{
    int days;
    size_t expected;
};

void PrintTo(const ChartCase& c, std::ostream* os)
{
    *os << c.days << " days";
}

class ChartWindowTest : public ResultRowsTest, public ::testing::WithParamInterface<ChartCase>
{
};

TEST_P(ChartWindowTest, HoldsTheNewestThirtyQueriedDaysOldestFirst)
{
    list(QStringLiteral("a.com"));
    list(QStringLiteral("other.com"));
    const QDate first(2023, 12, 20);
    std::vector<QDate> days;
    for (int i = 0; i < GetParam().days; ++i) {
        // Every other calendar day, two queries a day: gaps must not count and the day's last row is used.
        const QDate day = first.addDays(2 * i);
        days.push_back(day);
        store(QStringLiteral("a.com"), QDateTime(day, QTime(8, 0)));
        store(QStringLiteral("other.com"), QDateTime(day, QTime(9, 0)));
        store(QStringLiteral("a.com"), QDateTime(day, QTime(10, 0)), i + 1); // above 0: trusted
    }
    const auto rows = chart(QStringLiteral("a.com"));
    ASSERT_EQ(rows.size(), GetParam().expected);
    const size_t skipped = days.size() - rows.size();
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].searchTime, QDateTime(days[skipped + i], QTime(10, 0))) << "row " << i;
        EXPECT_EQ(rows[i].counts[0], static_cast<Count>(skipped + i + 1));
    }
    EXPECT_EQ(daily(QStringLiteral("a.com")).size(), days.size());
}

INSTANTIATE_TEST_SUITE_P(Days, ChartWindowTest,
    ::testing::Values(
        ChartCase { 45, 30 }, ChartCase { 12, 12 }, ChartCase { 30, 30 }, ChartCase { 31, 30 }, ChartCase { 1, 1 }),
    [](const ::testing::TestParamInfo<ChartCase>& info) { return std::to_string(info.param.days) + "Days"; });

TEST_F(ResultRowsTest, QuoteAndPercentDomainsWorkInEveryView)
{
    const QString quote = QStringLiteral("o'reilly.com");
    const QString percent = QStringLiteral("100%.com");
    list(quote);
    list(percent);
    list(QStringLiteral("100x.com"));
    const qint64 q = store(quote, at(2024, 2, 1));
    const qint64 p = store(percent, at(2024, 2, 2));
    store(QStringLiteral("100x.com"), at(2024, 2, 3));
    EXPECT_EQ(latest().size(), 3u);
    EXPECT_EQ(idsOf(daily(quote)), std::vector<qint64> { q });
    EXPECT_EQ(idsOf(chart(QStringLiteral("O'REILLY.com"))), std::vector<qint64> { q });
    EXPECT_EQ(idsOf(daily(percent)), std::vector<qint64> { p });
    // Neither a pattern nor a wildcard: "100_.com" and "%" match nothing.
    EXPECT_TRUE(daily(QStringLiteral("100_.com")).empty());
    EXPECT_TRUE(daily(QStringLiteral("%")).empty());
}

TEST_F(ResultRowsTest, RowsOfOneBatchShareTheirTimeAndAllShow)
{
    const QDateTime batch = at(2024, 7, 7, 7, 7, 7);
    const QStringList domains { QStringLiteral("a.com"), QStringLiteral("b.com"), QStringLiteral("c.com") };
    for (const QString& domain : domains) {
        list(domain);
        store(domain, batch);
    }
    const auto rows = latest();
    ASSERT_EQ(rows.size(), 3u);
    for (const ResultRow& row : rows) {
        EXPECT_EQ(row.searchTime, batch);
    }
}

TEST_F(ResultRowsTest, CommittedRowIsSeenByAnotherConnection)
{
    list(QStringLiteral("a.com"));
    const qint64 id = store(QStringLiteral("a.com"), at(2024, 1, 1));
    auto other = m_temp.open();
    ASSERT_TRUE(other.ok());
    auto rows = ResultRows((*other)->database()).latestRows();
    ASSERT_TRUE(rows.ok());
    EXPECT_EQ(idsOf(*rows), std::vector<qint64> { id });
}

} // namespace
} // namespace shoulu
