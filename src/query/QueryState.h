#pragma once

#include "util/EngineCounts.h"

#include <QDateTime>
#include <QString>

namespace shoulu {

// The one record of the run in progress (a single query or a batch). Lives as long as the
// window or command that runs queries; read and written on its owner thread only.
struct QueryState
{
    bool Busy = false;
    QString CurrentDomain; // the domain started last, as typed or listed (not trimmed)
    QDateTime QueryTime; // taken when the run started; every row of the run carries it
    shoulu::EngineCounts EngineCounts {}; // latest count per engine, whatever domain it belongs to
    int DomainReplies = 0; // replies in for CurrentDomain
    int TotalReplies = 0; // replies in since the run started (the gauge's position)
    int ExpectedReplies = 0; // replies the run waits for (the gauge's maximum)
};

} // namespace shoulu
