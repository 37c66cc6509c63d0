#pragma once

#include <QtGlobal>

namespace shoulu {

// Bounds that keep every fetch finite. A fetch that hits one ends as a failure (OnError).
inline constexpr int kConnectTimeoutMs = 20 * 1000;
inline constexpr int kFetchTimeoutMs = 60 * 1000;
inline constexpr qint64 kMaxBodyBytes = 32 * 1024 * 1024;
// Redirects are followed up to this many hops.
inline constexpr int kMaxRedirects = 10;
// A response head beyond this is refused; real ones stay far below.
inline constexpr qint64 kMaxHeadBytes = 256 * 1024;

struct FetchLimits
{
    int connectTimeoutMs = kConnectTimeoutMs; // from start until the connection stands
    int fetchTimeoutMs = kFetchTimeoutMs; // the whole fetch, redirects included
    qint64 maxBodyBytes = kMaxBodyBytes;
};

} // namespace shoulu
