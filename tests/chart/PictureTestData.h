#pragma once

// A database for the picture commands: listed domains with daily rows, of which chosen days
// hold a blocked Baidu reading, so their chart has a gap there.

#include "engines/EngineTable.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "support/TempDatabase.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <set>

namespace shoulu::test {

inline void storeDays(const TempDatabase& temp, const QString& domain, int days, const std::set<int>& blockedDays)
{
    auto db = temp.open();
    ASSERT_TRUE(db.ok());
    ASSERT_TRUE(DomainList((*db)->database()).addDomain(domain).ok());
    ResultRows rows((*db)->database());
    for (int day = 0; day < days; ++day) {
        QList<EngineReading> readings;
        for (int e = 0; e < EngineCount; ++e) {
            Reading reading;
            reading.status = e == 0 && blockedDays.count(day) ? ReadingStatus::Blocked : ReadingStatus::Counted;
            reading.count = reading.status == ReadingStatus::Counted ? 5000 : 0;
            readings.append({ QString::fromLatin1(engineInfo(e).name), reading });
        }
        EngineCounts counts;
        counts.fill(5000);
        const QDateTime when(QDate(2024, 5, 1).addDays(day), QTime(10, 0));
        ASSERT_TRUE(rows.addshoulu(domain, when, counts, readings).ok());
    }
}

} // namespace shoulu::test
