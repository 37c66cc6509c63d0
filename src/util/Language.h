#pragma once

#include <QString>

namespace shoulu {

// The window speaks Chinese, the command line English. A text the core builds for both faces
// is worded for the one that asked:
//   Q_EMIT statusChanged(worded(m_language, QStringLiteral("正在查询："), QStringLiteral("querying: ")) + domain);
enum class Language { Chinese, English };

inline QString worded(Language language, const QString& chinese, const QString& english)
{
    return language == Language::English ? english : chinese;
}

} // namespace shoulu
