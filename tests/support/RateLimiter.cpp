#include "support/RateLimiter.h"

namespace shoulu::test {

bool RateLimiter::admit(qint64 nowMs)
{
    const qint64 quietFor = nowMs - m_lastMs;
    m_lastMs = nowMs;
    if (m_blocking && quietFor < m_limit.quietMs) {
        return false;
    }
    m_blocking = false;
    while (!m_recent.empty() && nowMs - m_recent.front() >= m_limit.windowMs) {
        m_recent.pop_front();
    }
    if (int(m_recent.size()) >= m_limit.requests) {
        m_blocking = true;
        m_recent.clear();
        return false;
    }
    m_recent.push_back(nowMs);
    return true;
}

} // namespace shoulu::test
