#include "store/CommitRetry.h"

#include <algorithm>

namespace shoulu {

std::optional<int> CommitRetry::pauseAfter(int failures, qint64 waitedMs) const
{
    const qint64 left = qint64(budgetMs) - waitedMs;
    if (left <= 0) {
        return std::nullopt;
    }
    qint64 pause = firstPauseMs;
    for (int i = 1; i < failures && pause < longestPauseMs; ++i) {
        pause *= 2;
    }
    return int(std::min({ pause, qint64(longestPauseMs), left }));
}

} // namespace shoulu
