#pragma once

#include "util/EngineCounts.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <optional>

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

// The count the markers give, or nullopt when the page does not carry both markers in order
// with something between them (the figure ExtractCount gives such a page is 0).
std::optional<Count> ExtractMarkedCount(int engineIndex, const QByteArray& page);

// A cleaned figure in GBK, with the 亿/万 units resolved as for Youdao: n >= 0, or -1 when it is
// not a plain number or does not fit.
Count ReadUnitsFigure(QByteArrayView text);

} // namespace shoulu
