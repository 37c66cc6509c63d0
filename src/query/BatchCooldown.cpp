#include "query/BatchCooldown.h"

#include "engines/EngineCatalogue.h"

#include <QStringList>

#include <algorithm>

namespace shoulu {

Reading coolingReading()
{
    Reading reading;
    reading.status = ReadingStatus::Blocked;
    reading.error = coolingErrorText();
    reading.reason = ReadingReason::Cooling;
    return reading;
}

bool isCoolingReading(const Reading& reading)
{
    return reading.status == ReadingStatus::Blocked && !reading.fetchedAt.isValid()
        && reading.reason == ReadingReason::Cooling;
}

void BatchCooldown::reset()
{
    m_policy.reset();
    m_waiting.clear();
    m_tally.clear();
}

bool BatchCooldown::skips(int engine)
{
    if (!m_policy.isCooling(engine)) {
        return false;
    }
    ++m_tally[engine].skipped;
    return true;
}

void BatchCooldown::noteReading(int engine, const Reading& reading)
{
    if (reading.status == ReadingStatus::Blocked && m_policy.noteBlocked(engine)) {
        EngineTally& tally = m_tally[engine];
        ++tally.rests;
        tally.longestPauseMs = std::max(tally.longestPauseMs, m_policy.pauseMs(engine));
    }
}

void BatchCooldown::noteStored(qint64 rowId, const QString& domain, const QList<Reading>& readings)
{
    for (qsizetype engine = 0; engine < readings.size(); ++engine) {
        if (isCoolingReading(readings.at(engine))) {
            m_waiting.push_back({ rowId, domain, int(engine) });
        }
    }
}

bool BatchCooldown::hasDueRetry() const
{
    return std::any_of(
        m_waiting.begin(), m_waiting.end(), [this](const Waiting& w) { return !m_policy.isCooling(w.engine); });
}

std::optional<BatchCooldown::Retry> BatchCooldown::takeDueRetry()
{
    const auto due = [this](const Waiting& w) { return !m_policy.isCooling(w.engine); };
    const auto first = std::find_if(m_waiting.begin(), m_waiting.end(), due);
    if (first == m_waiting.end()) {
        return std::nullopt;
    }
    Retry retry { first->rowId, first->domain, {} };
    const auto taken = std::remove_if(first, m_waiting.end(), [&](const Waiting& w) {
        if (w.rowId != retry.rowId || !due(w)) {
            return false;
        }
        retry.engines.push_back(w.engine);
        ++m_tally[w.engine].retried;
        return true;
    });
    m_waiting.erase(taken, m_waiting.end());
    return retry;
}

QString BatchCooldown::summaryText(const EngineCatalogue& catalogue) const
{
    // Engines that fared alike share one part: a blocked batch often has them all rest alike.
    std::vector<std::pair<QString, QStringList>> parts;
    for (const auto& [engine, tally] : m_tally) {
        if (tally.rests == 0) {
            continue;
        }
        const QString figures = QStringLiteral("受阻暂停 %1 次（最长 %2 分钟），跳过 %3 个读数，补查 %4 个")
                                    .arg(tally.rests)
                                    .arg(double(tally.longestPauseMs) / 60000.0, 0, 'g', 3)
                                    .arg(tally.skipped)
                                    .arg(tally.retried);
        const auto same = std::find_if(parts.begin(), parts.end(), [&](const auto& p) { return p.first == figures; });
        (same == parts.end() ? parts.emplace_back(figures, QStringList()) : *same)
            .second.append(catalogue.engine(engine).caption);
    }
    QString text;
    for (const auto& [figures, captions] : parts) {
        text += QStringLiteral("；") + captions.join(QStringLiteral("、")) + figures;
    }
    return text;
}

} // namespace shoulu
