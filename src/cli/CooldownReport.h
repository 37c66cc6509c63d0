#pragma once

#include "cli/Command.h"
#include "store/ResultRow.h"

#include <vector>

namespace shoulu {
class DomainQuery;
} // namespace shoulu

namespace shoulu::cli {

// One line on stderr per engine the batch left alone after it blocked.
void reportCooldowns(const DomainQuery& query, Streams& io);
// Puts a domain's retried readings into its printed row, so that what is reported at the end
// is what is stored.
void applyRetried(std::vector<ResultRow>& rows, const QString& domain, const QList<EngineReading>& readings);

} // namespace shoulu::cli
