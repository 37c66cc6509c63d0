#pragma once

#include <QDateTime>
#include <QString>

#include <string_view>

namespace shoulu {

// The times of table shoulu's searchtime and of readings, read and written for views of
// thousands of rows without Qt's slower parsing and zone look-ups.

// An instant as local wall-clock time at its UTC offset, like searchTime: Qt's local time
// would look the zone up again for every one of a view's thousands of readings.
QDateTime localFromEpoch(qint64 secs);
// "YYYY-MM-DD HH:MM:SS" (also with 'T' or without the time), read by hand: QDateTime's
// format parser costs more than the rest of a 1,000-row view.
QDateTime parseSearchTime(std::string_view text);
// As parseSearchTime reads it: "YYYY-MM-DD HH:MM:SS" of the local wall-clock time.
QString formatSearchTime(const QDateTime& local);

} // namespace shoulu
