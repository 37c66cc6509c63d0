#pragma once

#include "util/Result.h"

#include <QtGlobal>

#include <vector>

namespace shoulu {

class PageArchive;

// How long and how much the archive keeps; stored in the archive itself.
struct RetentionLimits
{
    static constexpr int DefaultMaxAgeDays = 180;
    static constexpr qint64 DefaultMaxBytes = qint64(2) * 1024 * 1024 * 1024;

    int maxAgeDays = DefaultMaxAgeDays;
    qint64 maxBytes = DefaultMaxBytes; // of compressed bodies and dictionaries
};

struct PruneOutcome
{
    int fetches = 0; // archived fetches given up
    int bodies = 0; // distinct bodies removed with them
    qint64 storedBytes = 0; // what the archive holds afterwards
};

// What a prune would give up, worked out without giving anything up.
struct PrunePlan
{
    std::vector<qint64> fetchIds; // in the order they would go
    int recentFetches = 0; // of them, fetched within the last 24 hours
    int bodies = 0; // distinct bodies freed with them
    qint64 storedBytes = 0; // what the archive would hold afterwards
};

// Gives up pages past the limits: every fetch older than the age limit, then, while the archive
// is over its size, the oldest fetches first, those of trusted readings (counted or none) before
// the others: a page that explains a missing figure is worth more than one that gave it.
class ArchiveRetention
{
public:
    explicit ArchiveRetention(PageArchive& archive);

    Result<RetentionLimits> limits();
    Result<void> setLimits(const RetentionLimits& limits);
    // `now` in seconds since the epoch. One transaction; freed space goes back to the file system.
    // Without `limits` the stored ones apply; given ones are not stored.
    Result<PruneOutcome> prune(qint64 now);
    Result<PruneOutcome> prune(qint64 now, const RetentionLimits& limits);
    Result<PrunePlan> plan(qint64 now, const RetentionLimits& limits);

private:
    PageArchive& m_archive;
};

} // namespace shoulu
