#include "engines/Reading.h"

#include <array>
#include <utility>

namespace shoulu {

namespace {

constexpr std::array<std::pair<ReadingStatus, const char*>, 6> kWords { {
    { ReadingStatus::Counted, "counted" },
    { ReadingStatus::None, "none" },
    { ReadingStatus::Blocked, "blocked" },
    { ReadingStatus::Failed, "failed" },
    { ReadingStatus::Unreadable, "unreadable" },
    { ReadingStatus::Off, "off" },
} };

} // namespace

QString reasonWord(ReadingReason reason)
{
    return reason == ReadingReason::Cooling ? QStringLiteral("cooling") : QString();
}

ReadingReason reasonFromWord(QStringView word)
{
    return word == QLatin1String("cooling") ? ReadingReason::Cooling : ReadingReason::None;
}

QString coolingErrorText()
{
    return QStringLiteral("冷却中");
}

QString statusWord(ReadingStatus status)
{
    for (const auto& [value, word] : kWords) {
        if (value == status) {
            return QLatin1String(word);
        }
    }
    return QStringLiteral("failed");
}

QString statusCaption(ReadingStatus status)
{
    switch (status) {
    case ReadingStatus::Counted:
        return QStringLiteral("计数");
    case ReadingStatus::None:
        return QStringLiteral("无结果");
    case ReadingStatus::Blocked:
        return QStringLiteral("受阻");
    case ReadingStatus::Failed:
        return QStringLiteral("失败");
    case ReadingStatus::Unreadable:
        return QStringLiteral("无法识别");
    case ReadingStatus::Off:
        break;
    }
    return QStringLiteral("停用");
}

std::optional<ReadingStatus> statusFromWord(QStringView word)
{
    for (const auto& [value, text] : kWords) {
        if (word == QLatin1String(text)) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace shoulu
