#pragma once

#include "util/Reply.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace shoulu {

// A reply that came, with what the page archive keeps of it.
inline Reply archivedReply(const QString& domain, const QString& engine, qint64 fetchedAt, const QByteArray& finalUrl,
    int httpStatus, const QByteArray& contentType, const QByteArray& body, bool cutShort = false)
{
    Reply reply;
    reply.domain = domain;
    reply.engine = engine;
    reply.fetchedAt = QDateTime::fromSecsSinceEpoch(fetchedAt);
    reply.finalUrl = finalUrl;
    reply.httpStatus = httpStatus;
    reply.contentType = contentType;
    reply.arrived = true;
    reply.body = body;
    reply.cutShort = cutShort;
    return reply;
}

} // namespace shoulu
