#pragma once

#include <QByteArray>
#include <QString>

namespace shoulu {

// One fetched body with the facts of its fetch, as the page archive keeps it.
struct KeptPage
{
    QString domain;
    QString engine; // the catalogue key
    qint64 fetchedAt = 0; // seconds since the epoch, as the reading stores it: the link between them
    QByteArray finalUrl;
    int httpStatus = 0;
    QByteArray contentType;
    QByteArray body; // implicitly shared: handing it on copies no bytes
    bool trusted = false; // the reading was a figure (counted or none)
    bool incomplete = false; // the reply was cut short: the body is only its beginning
};

// Where a query hands the pages it read. keep() is called on the caller's thread and must
// return at once: the work belongs to the sink, and a sink failure never reaches the caller.
class PageSink
{
public:
    virtual ~PageSink() = default;
    virtual void keep(KeptPage page) = 0;
    // The reading of a kept page is stored: the page is no longer one without its reading.
    virtual void linked(const QString& domain, const QString& engine, qint64 fetchedAt)
    {
        (void)domain;
        (void)engine;
        (void)fetchedAt;
    }
};

} // namespace shoulu
