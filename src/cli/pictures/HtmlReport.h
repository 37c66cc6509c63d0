#pragma once

#include "store/ResultRow.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace shoulu::cli {

// One listed domain's part of the report: its newest row and its 30-day chart as an <svg>
// element; neither for a domain never queried.
struct ReportDomain
{
    QString domain;
    std::optional<ResultRow> latest;
    QByteArray chartSvg;
};

// The whole report as one page that needs nothing from the network: a table of the newest
// figures (a status word where a reading gave none, as the window shows it), then every
// domain's chart, both in the order given. Every stored text is escaped.
QString reportPage(const std::vector<ReportDomain>& domains, const QDateTime& made);

} // namespace shoulu::cli
