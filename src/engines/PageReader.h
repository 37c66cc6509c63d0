#pragma once

#include "engines/EngineCatalogue.h"
#include "engines/Reading.h"
#include "util/Reply.h"

#include <QByteArray>
#include <QString>

namespace shoulu {

// Classifies an engine's answer. Never fails: an answer no rule understands is unreadable.
Reading readReply(const CatalogueEngine& engine, const Reply& reply);

// Reads a page as the engine's result page (no HTTP facts: a saved page).
Reading readPage(const CatalogueEngine& engine, const QByteArray& body, const QByteArray& contentType = {});

// The reading of an engine that is switched off and so was not asked.
Reading offReading();

// "www.baidu.com" of "https://www.baidu.com/s?wd=x"; empty when there is none.
QString hostOf(const QByteArray& url);

} // namespace shoulu
