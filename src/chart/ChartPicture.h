#pragma once

#include "util/Language.h"
#include "util/Result.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <memory>

namespace shoulu {

class TrendChart;

// Pictures of a trend chart for files and pages: the plot with its title, legend and dates,
// without the check-box strip, at the chart's own size.
//     auto chart = unseenChart({800, 400}); chart->draw(domain, rows); saveChartPicture(*chart, "a.svg");

// SVG when the name ends in ".svg" (any letter case), PNG otherwise.
bool isSvgPath(const QString& path);

// Writes PNG or SVG by the file name; the error names the file and why.
Result<void> saveChartPicture(TrendChart& chart, const QString& path, Language language = Language::Chinese);

// The picture as one <svg> element, without the XML prologue, to place inside a page.
QByteArray chartSvgElement(TrendChart& chart);

// A chart laid out at the size given that never appears on screen; every box unticked.
std::unique_ptr<TrendChart> unseenChart(QSize size);

} // namespace shoulu
