#include "store/SearchTime.h"

#include <ctime>

namespace shoulu {

namespace {

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

} // namespace

QDateTime localFromEpoch(qint64 secs)
{
    const auto instant = static_cast<time_t>(secs);
    std::tm parts = {};
    if (localtime_r(&instant, &parts) == nullptr) {
        return QDateTime::fromSecsSinceEpoch(secs);
    }
    return QDateTime::fromSecsSinceEpoch(secs, Qt::OffsetFromUTC, static_cast<int>(parts.tm_gmtoff));
}

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

} // namespace shoulu
