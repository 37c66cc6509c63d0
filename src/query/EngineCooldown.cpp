#include "query/EngineCooldown.h"

#include <QDeadlineTimer>

#include <algorithm>

namespace shoulu {

EngineCooldown::EngineCooldown(Clock clock)
    : m_clock(std::move(clock))
{ }

EngineCooldown::Clock EngineCooldown::steadyClock()
{
    return [] { return QDeadlineTimer::current().deadline(); };
}

bool EngineCooldown::noteBlocked(int engine)
{
    if (isCooling(engine)) {
        return false;
    }
    Rest& rest = m_engines[engine];
    rest.pauseMs = rest.pauseMs == 0 ? m_pauses.firstMs : std::min(rest.pauseMs * 2, m_pauses.longestMs);
    rest.untilMs = m_clock() + rest.pauseMs;
    return rest.pauseMs > 0;
}

bool EngineCooldown::isCooling(int engine) const
{
    const auto it = m_engines.find(engine);
    return it != m_engines.end() && m_clock() < it->second.untilMs;
}

qint64 EngineCooldown::pauseMs(int engine) const
{
    const auto it = m_engines.find(engine);
    return it == m_engines.end() ? 0 : it->second.pauseMs;
}

} // namespace shoulu
