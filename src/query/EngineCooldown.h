#pragma once

#include <QtGlobal>

#include <functional>
#include <map>

namespace shoulu {

// When to leave a blocking engine alone. An engine that blocks rests for FirstPauseMs; one that
// blocks again after its rest rests twice as long, up to LongestPauseMs. Engines are told apart
// by their catalogue position.
//     EngineCooldown cooldown; cooldown.noteBlocked(0); if (cooldown.isCooling(0)) { /* skip */ }
class EngineCooldown
{
public:
    // Milliseconds on a clock that never goes back.
    using Clock = std::function<qint64()>;

    static constexpr qint64 FirstPauseMs = 5 * 60 * 1000;
    static constexpr qint64 LongestPauseMs = 2 * 60 * 60 * 1000;

    struct Pauses
    {
        qint64 firstMs = FirstPauseMs;
        qint64 longestMs = LongestPauseMs;
    };

    explicit EngineCooldown(Clock clock = steadyClock());

    static Clock steadyClock();
    // Shorter pauses make a measurement against a local engine take minutes instead of hours.
    void setPauses(Pauses pauses) { m_pauses = pauses; }
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // Every engine fresh again.
    void reset() { m_engines.clear(); }

    // A blocked answer. One that comes while the engine rests (a request sent before the rest
    // began) is the same block and changes nothing. Returns whether a rest began: none does
    // while the pauses are 0, which leaves the engines to be asked regardless.
    bool noteBlocked(int engine);
    bool isCooling(int engine) const;
    // The length of the engine's latest rest; 0 when it never blocked.
    qint64 pauseMs(int engine) const;

private:
    struct Rest
    {
        qint64 pauseMs = 0;
        qint64 untilMs = 0;
    };

    Clock m_clock;
    Pauses m_pauses;
    std::map<int, Rest> m_engines;
};

} // namespace shoulu
