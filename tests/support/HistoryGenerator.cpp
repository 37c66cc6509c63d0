#include "support/HistoryGenerator.h"

#include "store/Database.h"
#include "store/Transaction.h"

namespace shoulu::test {

QString HistoryGenerator::domainName(int index)
{
    return QStringLiteral("site%1.example.com").arg(index, 4, 10, QLatin1Char('0'));
}

qint64 HistoryGenerator::count(int domainIndex, int dayIndex, int engine)
{
    // Varied, repeatable figures of realistic size.
    const quint64 mixed = (static_cast<quint64>(domainIndex) * 2654435761u) ^ (static_cast<quint64>(dayIndex) * 40503u)
        ^ (static_cast<quint64>(engine) * 97u);
    return static_cast<qint64>(mixed % 5000000u);
}

Result<void> HistoryGenerator::fill(Database& db, int domains, int days, QDate firstDay)
{
    return inTransaction(db, [&]() -> Result<void> {
        auto listing = db.prepare("INSERT INTO domain (domain) VALUES (?1)");
        if (!listing) {
            return Error { listing.error() };
        }
        for (int d = 0; d < domains; ++d) {
            listing->reset();
            if (auto done = listing->bind(1, domainName(d)); !done) {
                return done;
            }
            if (auto done = listing->run(); !done) {
                return done;
            }
        }
        auto insert
            = db.prepare("INSERT INTO shoulu (domain, baidu, google, soso, yahoo, sogou, youdao, bing,"
                         " yyyy, mm, dd, searchtime) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
        if (!insert) {
            return Error { insert.error() };
        }
        for (int day = 0; day < days; ++day) {
            const QDate date = firstDay.addDays(day);
            const QString searchTime = date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 09:30:00");
            for (int d = 0; d < domains; ++d) {
                insert->reset();
                Result<void> bound = insert->bindAll(domainName(d), count(d, day, 0), count(d, day, 1),
                    count(d, day, 2), count(d, day, 3), count(d, day, 4), count(d, day, 5), count(d, day, 6),
                    date.year(), date.month(), date.day(), searchTime);
                if (bound) {
                    bound = insert->run();
                }
                if (!bound) {
                    return bound;
                }
            }
        }
        return {};
    });
}

} // namespace shoulu::test
