#pragma once

#include "engines/EngineCatalogue.h"
#include "engines/Reading.h"

#include <QByteArray>
#include <QString>

namespace shoulu {

// What came back for one request.
struct FetchedPage
{
    bool arrived = false; // a body came; false for a failed fetch
    QByteArray body;
    int httpStatus = 0; // of the last response, 0 when none came
    QByteArray finalUrl; // where the request ended, after redirects
    QByteArray contentType;
    QString error; // why nothing came, or how a reply cut short broke off
    // The body is what came before the transfer broke off, or less than the response announced.
    bool cutShort = false;
    qint64 announcedBytes = -1; // Content-Length, -1 when the response had none
    QByteArray refusedRedirect; // where the engine sent the request on, not followed
};

// Classifies an engine's answer. Never fails: an answer no rule understands is unreadable.
Reading readReply(const CatalogueEngine& engine, const FetchedPage& reply);

// Reads a page as the engine's result page (no HTTP facts: a saved page).
Reading readPage(const CatalogueEngine& engine, const QByteArray& body, const QByteArray& contentType = {});

// The reading of an engine that is switched off and so was not asked.
Reading offReading();

// "www.baidu.com" of "https://www.baidu.com/s?wd=x"; empty when there is none.
QString hostOf(const QByteArray& url);

} // namespace shoulu
