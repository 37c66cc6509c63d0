#pragma once

#include "util/Result.h"

#include <QtGlobal>

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
    Result<PruneOutcome> prune(qint64 now);

private:
    PageArchive& m_archive;
};

} // namespace shoulu
