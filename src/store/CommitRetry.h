#pragma once

#include <QtGlobal>

#include <optional>

namespace shoulu {

// How long a row waits for a locked file: pauses that double from the first to the longest,
// until the budget since the first failure is spent.
struct CommitRetry
{
    static constexpr int FirstPauseMs = 1000;
    static constexpr int LongestPauseMs = 60 * 1000;
    static constexpr int BudgetMs = 10 * 60 * 1000;

    int firstPauseMs = FirstPauseMs;
    int longestPauseMs = LongestPauseMs;
    int budgetMs = BudgetMs;

    // The pause before the next attempt after `failures` failed ones (1 or more) and `waitedMs`
    // since the first; none once the budget is spent.
    std::optional<int> pauseAfter(int failures, qint64 waitedMs) const;
};

} // namespace shoulu
