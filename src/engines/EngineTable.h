#pragma once

#include "util/EngineCounts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace shoulu {

enum class Engine : int { Baidu = 0, Google, Soso, Yahoo, Sogou, Youdao, Bing };

// The seven stored engines by column, as the built-in catalogue names them.
struct EngineInfo
{
    const char* name; // lower-case ASCII key, also the stored column: "baidu"
    const char* caption; // what the user sees, UTF-8: "百度"
};

// index must lie in 0..EngineCount-1.
const EngineInfo& engineInfo(int index);

// The seven query URL prefixes in column order, from the built-in catalogue.
QStringList buildEngineUrls();

// Engine index from "0".."6" or an engine name in any letter case; -1 when neither.
int engineIndexFromText(const QString& text);

// The query URL of one engine: the prefix followed by the domain text as GBK bytes,
// percent-encoded but otherwise unchanged (no trimming, no case change).
QByteArray queryUrl(const QString& prefix, const QString& domainText);

} // namespace shoulu
