#pragma once

#include "util/EngineCounts.h"

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <optional>

namespace shoulu {

// What one engine's answer amounts to. The words are the program's vocabulary in every output.
enum class ReadingStatus {
    Counted, // a figure was read
    None, // the engine says it found nothing: a true zero
    Blocked, // a verification or refusal page, or HTTP 403/429
    Failed, // no page at all
    Unreadable, // a page no rule understands
    Off, // the engine is switched off and was not asked
};

// Why an engine was not asked although it is switched on; stored beside the status.
enum class ReadingReason {
    None,
    Cooling, // left out while it rested after blocking a batch
};

// The stored word ("cooling"), empty for None.
QString reasonWord(ReadingReason reason);
ReadingReason reasonFromWord(QStringView word);

// The error text a cool-down skip has always been stored and shown with.
QString coolingErrorText();

QString statusWord(ReadingStatus status);
// What the window shows for it: 计数, 无结果, 受阻, 失败, 无法识别, 停用.
QString statusCaption(ReadingStatus status);
std::optional<ReadingStatus> statusFromWord(QStringView word);

// counted and none are figures a user may trust; the rest say why there is none.
inline bool isTrustworthy(ReadingStatus status)
{
    return status == ReadingStatus::Counted || status == ReadingStatus::None;
}

struct Reading
{
    ReadingStatus status = ReadingStatus::Failed;
    // The figure stored for the engine: the count when counted, 0 when none, failed or blocked;
    // when unreadable, what the fixed markers give (0, or -1 for text that is not a number).
    Count count = 0;
    QString rule; // the rule that decided, e.g. "markers", "count: <pattern>", "http 429"
    int httpStatus = 0;
    QString finalHost; // where the request ended, after redirects
    QString error; // why there is no page, or what was wrong with it
    QDateTime fetchedAt; // when the answer came; invalid for a reading never fetched
    ReadingReason reason = ReadingReason::None;
};

// A reading with the key of the engine it belongs to, as a stored row carries it.
struct EngineReading
{
    QString engine;
    Reading reading;
};

} // namespace shoulu
