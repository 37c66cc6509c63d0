#pragma once

#include "util/EngineCounts.h"

#include <QStringView>

namespace shoulu {

// Reads a figure as an engine prints it for people: "1,240,000", "1.230.000", "1 230 000" (with
// U+00A0 or &#160;), "1’234", full-width digits, a leading "约"/"About"/"約有", and the units
// 万/亿 as Youdao writes them. Separators must group digits by three. Returns the figure, or -1
// when the text is not a plain number or does not fit a signed 64-bit count.
Count readHumanFigure(QStringView text);

} // namespace shoulu
