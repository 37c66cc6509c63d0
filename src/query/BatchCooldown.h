#pragma once

#include "engines/Reading.h"
#include "query/EngineCooldown.h"

#include <QList>
#include <QString>

#include <map>
#include <optional>
#include <vector>

namespace shoulu {

class EngineCatalogue;

// A batch's bookkeeping around EngineCooldown: which engines to skip now, the readings skipped
// (stored as blocked, reason cooling) waiting for their retry at the end of the batch, and what the
// summary says. Engines are catalogue positions; readings are indexed by them.
class BatchCooldown
{
public:
    struct EngineTally
    {
        int rests = 0; // cool-downs begun
        qint64 longestPauseMs = 0;
        int skipped = 0;
        int retried = 0;
    };

    // The skipped readings of one stored row whose engines may be asked again.
    struct Retry
    {
        qint64 rowId = 0;
        QString domain;
        std::vector<int> engines;
    };

    EngineCooldown& policy() { return m_policy; }
    void reset();

    // Whether to leave the engine out of the domain now; counted as a skipped reading if so.
    bool skips(int engine);
    void noteReading(int engine, const Reading& reading);
    // The row a domain's readings were stored in: its skipped readings wait for a retry.
    void noteStored(qint64 rowId, const QString& domain, const QList<Reading>& readings);

    // A stored row's skipped readings whose engines rest no longer, taken off the waiting list
    // (each reading is retried once); engines still resting keep theirs waiting.
    bool hasDueRetry() const;
    std::optional<Retry> takeDueRetry();

    const std::map<int, EngineTally>& tally() const { return m_tally; }
    // "；百度、谷歌受阻暂停 2 次（最长 10 分钟），跳过 40 个读数，补查 12 个", empty when no engine rested.
    QString summaryText(const EngineCatalogue& catalogue) const;

private:
    struct Waiting
    {
        qint64 rowId;
        QString domain;
        int engine;
    };

    EngineCooldown m_policy;
    std::vector<Waiting> m_waiting; // in batch order
    std::map<int, EngineTally> m_tally;
};

// The reading stored for an engine left out during its cool-down.
Reading coolingReading();
// Whether a reading is one: never fetched, blocked for the cool-down.
bool isCoolingReading(const Reading& reading);

} // namespace shoulu
