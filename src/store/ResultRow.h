#pragma once

#include "util/EngineCounts.h"

#include <QDateTime>
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
};

} // namespace shoulu
