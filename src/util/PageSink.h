#pragma once

#include "util/Reply.h"

#include <QString>

namespace shoulu {

// Where a query hands the pages it read. keep() is called on the caller's thread and must
// return at once: the work belongs to the sink, and a sink failure never reaches the caller.
// `trusted`: the reply's reading was a figure (counted or none). The reply links to its
// reading by engine, domain and fetchedAt to the second, as the reading stores it.
class PageSink
{
public:
    virtual ~PageSink() = default;
    virtual void keep(Reply reply, bool trusted) = 0;
    // The reading of a kept page is stored: the page is no longer one without its reading.
    virtual void linked(const QString& domain, const QString& engine, qint64 fetchedAt)
    {
        (void)domain;
        (void)engine;
        (void)fetchedAt;
    }
};

} // namespace shoulu
