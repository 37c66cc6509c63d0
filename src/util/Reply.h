#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace shoulu {

// What came back when one engine was asked about one domain, by whatever route: read into a
// reading, kept by the page archive, linked to the stored row. Handed on by value: the body is
// implicitly shared, so no copy of it copies its bytes.
struct Reply
{
    QString engine; // the catalogue key
    QString domain;
    QString route; // the catalogue's name of the way it was asked, e.g. "http"
    QByteArray requestUrl;
    QByteArray finalUrl; // where the request ended, after redirects
    int httpStatus = 0; // of the last response; 0 when none came
    QByteArray contentType;
    bool arrived = false; // a body came; false for a failed fetch
    QByteArray body;
    QString error; // why nothing came; on a reply cut short, how the transfer broke off
    QDateTime fetchedAt; // when the reply came
    QString outboundLabel; // the address it went out from, when the route has several; else empty
    qint64 announcedBytes = -1; // Content-Length of the last response; -1 when it had none
    qint64 receivedBytes = 0; // body bytes of the last response
    // Body bytes came, but fewer than announced or the transfer broke off: the page is delivered
    // all the same and must not be taken for the whole of it.
    bool cutShort = false;
    QByteArray refusedRedirect; // a redirect target the route did not follow
};

} // namespace shoulu
