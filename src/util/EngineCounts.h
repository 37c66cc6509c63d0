#pragma once

#include <array>
#include <cstdint>

namespace shoulu {

// The seven engines, always in this order (Baidu, Google, Soso, Yahoo, Sogou, Youdao, Bing);
// the index ties the URL, the count slot, the stored column, the list column, the check box
// and the chart series together.
constexpr int EngineCount = 7;
constexpr int EnginesPerDomain = EngineCount;

// Counts are signed 64-bit: a figure above the 32-bit range is kept as read.
// n >= 0 the engine's figure (0 also: no figure, or a failed fetch); -1 not a number.
using Count = std::int64_t;
using EngineCounts = std::array<Count, EngineCount>;

} // namespace shoulu
