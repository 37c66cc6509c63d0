#include "store/ResultRows.h"

#include "engines/EngineTable.h"
#include "store/Database.h"
#include "store/DomainList.h"

#include <QByteArrayList>

#include <ctime>
#include <string>

namespace shoulu {

namespace {

// The engines' columns, in column order, as the engine catalogue names them: "baidu, google, ...".
QByteArray engineColumnList()
{
    QByteArrayList names;
    for (int i = 0; i < EngineCount; ++i) {
        names.append(engineInfo(i).name);
    }
    return names.join(", ");
}

struct Statements
{
    QByteArray latestRows;
    QByteArray dailyRows;
    QByteArray chartWindow;
    QByteArray insertRow;
};

const Statements& statements()
{
    static const Statements built = [] {
        const QByteArray columns = "id, domain, " + engineColumnList() + ", yyyy, mm, dd, searchtime";
        Statements s;
        // A listed domain's rows are those whose domain equals it in any letter case, so its newest
        // row is one seek into (domain, id) per listed domain instead of a grouping of the whole table.
        s.latestRows = "SELECT " + columns
            + " FROM shoulu WHERE id IN ("
              " SELECT (SELECT max(s.id) FROM shoulu s WHERE s.domain = l.domain) FROM domain l)"
              " ORDER BY searchtime DESC, id DESC";
        // Every row taken equals the text in some letter case, so a row's domain is listed exactly
        // when the text is: one look-up instead of one per row.
        s.dailyRows = "SELECT " + columns
            + " FROM shoulu WHERE id IN ("
              " SELECT max(id) FROM shoulu WHERE domain = ?1 GROUP BY yyyy, mm, dd)"
              " AND EXISTS (SELECT 1 FROM domain WHERE domain = ?1)"
              " ORDER BY searchtime DESC, id DESC";
        // yyyy/mm/dd is the date of searchtime, so the newest 30 days are the daily rows with the
        // latest searchtime; picking them by day reads 30 rows instead of all of them.
        s.chartWindow = "SELECT " + columns
            + " FROM shoulu WHERE id IN ("
              " SELECT max(id) FROM shoulu WHERE domain = ?1 GROUP BY yyyy, mm, dd"
              " ORDER BY yyyy DESC, mm DESC, dd DESC LIMIT 30)"
              " AND EXISTS (SELECT 1 FROM domain WHERE domain = ?1)"
              " ORDER BY searchtime, id";
        s.insertRow = "INSERT INTO shoulu (domain, " + engineColumnList()
            + ", yyyy, mm, dd, searchtime) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)";
        return s;
    }();
    return built;
}

int digits(std::string_view text, size_t from, size_t count, bool& ok)
{
    int value = 0;
    for (size_t i = from; i < from + count; ++i) {
        const char c = i < text.size() ? text[i] : 'x';
        if (c < '0' || c > '9') {
            ok = false;
            return 0;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

// Local wall-clock time at its UTC offset. Qt's local-time constructor looks the zone up again
// for every value (a stat of /etc/localtime each time), which would cost more than the rest of
// a 1,000-row view; localtime_r does not.
QDateTime localDateTime(QDate date, QTime time)
{
    const qint64 asUtc = QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
    auto guess = static_cast<time_t>(asUtc);
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::tm parts = {};
        if (localtime_r(&guess, &parts) == nullptr) {
            break;
        }
        // The offset holds if the instant it gives shows this wall-clock time locally.
        const auto candidate = static_cast<time_t>(asUtc - parts.tm_gmtoff);
        std::tm check = {};
        if (localtime_r(&candidate, &check) == nullptr) {
            break;
        }
        if (check.tm_gmtoff == parts.tm_gmtoff) {
            return QDateTime(date, time, Qt::OffsetFromUTC, static_cast<int>(parts.tm_gmtoff));
        }
        guess = candidate;
    }
    return QDateTime(date, time); // a time skipped by a clock change: Qt's rule
}

// "YYYY-MM-DD HH:MM:SS" (also with 'T' or without the time), read by hand: QDateTime's
// format parser costs more than the rest of a 1,000-row view.
QDateTime parseSearchTime(std::string_view text)
{
    bool ok = text.size() >= 10;
    const QDate date(digits(text, 0, 4, ok), digits(text, 5, 2, ok), digits(text, 8, 2, ok));
    QTime time(0, 0);
    if (ok && text.size() >= 19) {
        time = QTime(digits(text, 11, 2, ok), digits(text, 14, 2, ok), digits(text, 17, 2, ok));
    }
    if (!ok || !date.isValid() || !time.isValid()) {
        return QDateTime();
    }
    return localDateTime(date, time);
}

QString formatSearchTime(const QDateTime& local)
{
    const QDate date = local.date();
    const QTime time = local.time();
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(), time.hour(),
        time.minute(), time.second());
}

Result<std::vector<ResultRow>> readRows(Statement& statement)
{
    std::vector<ResultRow> rows;
    std::string lastSearchTime;
    QDateTime lastParsed;
    for (;;) {
        auto more = statement.step();
        if (!more) {
            return Error { more.error() };
        }
        if (!*more) {
            return rows;
        }
        ResultRow& row = rows.emplace_back();
        row.id = statement.int64At(0);
        row.domain = statement.textAt(1);
        for (int engine = 0; engine < EngineCount; ++engine) {
            row.counts[static_cast<size_t>(engine)] = statement.int64At(2 + engine);
        }
        row.yyyy = static_cast<int>(statement.int64At(9));
        row.mm = static_cast<int>(statement.int64At(10));
        row.dd = static_cast<int>(statement.int64At(11));
        // Rows of one batch share their time: parse it once.
        const std::string_view searchTime = statement.utf8At(12);
        if (searchTime != lastSearchTime) {
            lastSearchTime.assign(searchTime);
            lastParsed = parseSearchTime(searchTime);
        }
        row.searchTime = lastParsed;
    }
}

Result<std::vector<ResultRow>> query(Database& db, const char* sql, const QString* domain)
{
    auto statement = db.prepare(sql);
    if (!statement) {
        return Error { statement.error() };
    }
    if (domain != nullptr) {
        if (auto bound = statement->bind(1, *domain); !bound) {
            return Error { bound.error() };
        }
    }
    return readRows(*statement);
}

} // namespace

ResultRows::ResultRows(Database& db)
    : m_db(db)
{ }

Result<void> ResultRows::addshoulu(const QString& domain, const QDateTime& queryTime, const EngineCounts& counts)
{
    const QString trimmed = trimControlAndBlank(domain);
    if (trimmed.isEmpty()) {
        return Error { QStringLiteral("no result stored: the domain is empty") };
    }
    if (!queryTime.isValid()) {
        return Error { QStringLiteral("no result stored for %1: the query time is not valid").arg(trimmed) };
    }
    const QDateTime local = queryTime.toLocalTime();
    auto statement = m_db.prepare(statements().insertRow.constData());
    if (!statement) {
        return Error { statement.error() };
    }
    const QDate date = local.date();
    static_assert(EngineCount == 7, "one bound count per engine column");
    if (auto bound = statement->bindAll(trimmed, counts[0], counts[1], counts[2], counts[3], counts[4], counts[5],
            counts[6], std::int64_t { date.year() }, std::int64_t { date.month() }, std::int64_t { date.day() },
            formatSearchTime(local));
        !bound) {
        return bound;
    }
    // Outside a transaction the insert commits by itself before run() returns.
    return statement->run();
}

Result<std::vector<ResultRow>> ResultRows::latestRows()
{
    return query(m_db, statements().latestRows.constData(), nullptr);
}

Result<std::vector<ResultRow>> ResultRows::dailyRows(const QString& domain)
{
    return query(m_db, statements().dailyRows.constData(), &domain);
}

Result<std::vector<ResultRow>> ResultRows::chartWindow(const QString& domain)
{
    return query(m_db, statements().chartWindow.constData(), &domain);
}

} // namespace shoulu
