#include "cli/CooldownReport.h"

#include "query/DomainQuery.h"
#include "store/DomainList.h"

namespace shoulu::cli {

void reportCooldowns(const DomainQuery& query, Streams& io)
{
    for (const auto& [engine, tally] : query.cooldown().tally()) {
        if (tally.rests == 0) {
            continue;
        }
        print(io.err,
            QStringLiteral("shoulu-cli batch: %1 blocked, left alone %2 time(s) (longest %3 min): %4 reading(s) "
                           "skipped, %5 retried at the end\n")
                .arg(query.catalogue().engine(engine).key)
                .arg(tally.rests)
                .arg(double(tally.longestPauseMs) / 60000.0, 0, 'g', 3)
                .arg(tally.skipped)
                .arg(tally.retried));
    }
}

void applyRetried(std::vector<ResultRow>& rows, const QString& domain, const QList<EngineReading>& readings)
{
    const QString name = trimControlAndBlank(domain);
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        if (row->domain != name) {
            continue;
        }
        for (EngineReading& stored : row->readings) {
            for (const EngineReading& fresh : readings) {
                if (fresh.engine == stored.engine) {
                    stored.reading = fresh.reading;
                }
            }
        }
        return;
    }
}

} // namespace shoulu::cli
