#pragma once

#include "util/EngineCounts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace shoulu {

enum class Engine : int { Baidu = 0, Google, Soso, Yahoo, Sogou, Youdao, Bing };

// The fixed facts of one engine; every table in the program is indexed the same way.
struct EngineInfo
{
    const char* name; // lower-case ASCII name, also the stored column: "baidu"
    const char* caption; // what the user sees, UTF-8: "百度"
    const char* host; // the engine's search host; holds the lower-case name
    const char* path; // "/s"
    const char* queryKey; // "wd"
    const char* valuePrefix; // "site%3A" or ""
    const char* checkBox; // "bsSkinCheckRadioBox1"
    const char* series; // "Series1"
};

// index must lie in 0..EngineCount-1.
const EngineInfo& engineInfo(int index);

// "http://" host path "?" key "=" prefix, for every engine in index order.
QStringList buildEngineUrls();

// Engine index from "0".."6" or an engine name in any letter case; -1 when neither.
int engineIndexFromText(const QString& text);

// The query URL of one engine: the prefix followed by the domain text as GBK bytes,
// unchanged otherwise (no trimming, no case change, no percent-encoding).
QByteArray queryUrl(const QString& prefix, const QString& domainText);

} // namespace shoulu
