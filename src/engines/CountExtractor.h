#pragma once

#include "util/EngineCounts.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>

namespace shoulu {

// How one engine's result page is read: the figure lies between the two markers; the
// removals are deleted from it in order. All texts are GBK bytes.
struct ExtractionRule
{
    QByteArrayView startMarker;
    qsizetype startLength; // bytes of the start marker, where the figure begins after it
    QByteArrayView endMarker;
    std::array<QByteArrayView, 3> removals; // in order; unused entries are empty
    bool unitsStep; // resolves the units 亿 and 万
};

// engineIndex must lie in 0..EngineCount-1.
const ExtractionRule& extractionRule(int engineIndex);

// The count an engine's result page states for the queried domain:
//   n >= 0  the figure (0 also when the page holds no figure),
//   -1      text stands between the markers but is not a plain number, or does not fit.
// The page may be UTF-8 or GBK. Never fails; an engine index out of range gives 0.
Count ExtractCount(int engineIndex, const QByteArray& page);

} // namespace shoulu
