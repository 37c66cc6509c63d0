#pragma once

#include "support/LocalHttpServer.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <memory>
#include <optional>

namespace shoulu::test {

// One way for a web server to misbehave.
enum class Fault {
    RefusedConnection, // nothing listens at the address
    ResetBeforeAnyByte, // the request is read, then the connection is reset
    ResetMidBody, // head and the first half of the body, then a reset
    HeadersThenSilence, // the head, then nothing, the connection held open
    TrickleSlowerThanTheFetch, // the head, then one body byte every TrickleIntervalMs
    EmptyBody, // 200 with a 0-byte body
    BodyAboveTheCap, // OversizeBytes of body with their Content-Length
    UndeclaredBodyAboveTheCap, // the same without Content-Length, ended by closing
    Chunked, // the body in chunks of ChunkBytes, sent in pieces that split chunk heads
    UnaskedGzip, // the body gzip-compressed and labelled so, though no client asked for it
    RedirectLoop, // 302 back to the same address, for ever
    ContentLengthAboveBody, // Content-Length promises more than comes; then a close
    ContentLengthBelowBody, // Content-Length covers the first half of what is sent
    ContentLengthNegative,
    ContentLengthNotANumber,
    StatusLineNotHttp, // the reply starts with a line of another protocol
    NulAndInvalidUtf8, // the body wrapped in NUL bytes and broken UTF-8 sequences
};

const char* faultName(Fault fault);

// A real server on 127.0.0.1 that answers every request with a fault, around a payload (what
// a well-behaved server would have sent). Reach it directly, or as a fetch's HTTP proxy:
//     FaultServer server(Fault::ResetMidBody); get.URL = server.url("/page");
//     FaultServer engines(Fault::Chunked, pageFor); query.setProxy(ProxySetting::via(engines.url("")));
class FaultServer
{
public:
    using Payload = std::function<QByteArray(const HttpRequest&)>;
    using FaultFor = std::function<Fault(const HttpRequest&)>;

    static constexpr int TrickleIntervalMs = 1500;
    static constexpr qsizetype OversizeBytes = 8 * 1024 * 1024;
    static constexpr int ChunkBytes = 7;

    // Without a payload function every request gets defaultPayload().
    explicit FaultServer(Fault fault, Payload payload = {});
    // A fault chosen per request (RefusedConnection cannot be chosen so).
    explicit FaultServer(FaultFor faultFor, Payload payload = {});
    ~FaultServer();

    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    QByteArray url(QByteArrayView path = "/") const;
    int requestCount() const;

    // Every byte value in an order that shows a shift or a loss, NUL bytes included.
    static QByteArray defaultPayload();
    // The body bytes the server means under `fault` for `payload` (compressed, wrapped or
    // padded as the fault has it), and where the faults that cut a body cut it.
    static QByteArray servedBody(Fault fault, const QByteArray& payload);
    static qsizetype cutAt(const QByteArray& body) { return body.size() / 2; }
    // A gzip member holding `data`, compressed (fixed Huffman codes) so that none of its text
    // shows in the bytes.
    static QByteArray gzip(const QByteArray& data);

private:
    void serve(const HttpRequest& request, HttpConnection& connection);

    FaultFor m_faultFor;
    Payload m_payload;
    std::unique_ptr<LocalHttpServer> m_server;
    int m_reservedFd = -1; // RefusedConnection: a bound socket that never listens
    quint16 m_port = 0;
};

} // namespace shoulu::test
