#pragma once

#include <QtGlobal>

#include <deque>

namespace shoulu::test {

// How a rate-limited server treats one client: past `requests` within `windowMs` it blocks,
// and it keeps blocking until the client has sent nothing for `quietMs`.
class RateLimiter
{
public:
    struct Limit
    {
        int requests = 4;
        qint64 windowMs = 60 * 1000;
        qint64 quietMs = 60 * 1000;
    };

    explicit RateLimiter(Limit limit)
        : m_limit(limit)
    { }

    // Whether a request arriving at `nowMs` is answered; a blocked one keeps the block going.
    bool admit(qint64 nowMs);

private:
    Limit m_limit;
    std::deque<qint64> m_recent; // arrival times of the answered requests within the window
    bool m_blocking = false;
    qint64 m_lastMs = 0;
};

} // namespace shoulu::test
