#pragma once

#include "engines/Reading.h"
#include "util/EngineCounts.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace shoulu {

// One row of table shoulu.
struct ResultRow
{
    qint64 id = 0;
    QString domain;
    EngineCounts counts {};
    int yyyy = 0;
    int mm = 0;
    int dd = 0;
    QDateTime searchTime; // local wall-clock time; read back at its UTC offset (Qt::OffsetFromUTC)
    // One per asked engine; empty for rows stored before readings were kept.
    QList<EngineReading> readings;

    // The reading of an engine, or null when the row has none for it.
    const Reading* readingOf(const QString& engine) const
    {
        for (const EngineReading& r : readings) {
            if (r.engine == engine) {
                return &r.reading;
            }
        }
        return nullptr;
    }
};

} // namespace shoulu
