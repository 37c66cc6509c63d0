#include "support/FaultServer.h"

#include <QtEndian>

#include <arpa/inet.h>
#include <array>
#include <cstdlib>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace shoulu::test {

namespace {

// Held open for as long as the client waits; the server's destruction ends it early.
constexpr int kSilenceMs = 120 * 1000;
// A close right after a send could overtake the bytes still queued (a reset drops them).
constexpr int kSettleMs = 50;

// Broken UTF-8 around NUL bytes: lone 0xFF and 0xFE, a lead without its continuation, a
// surrogate, a five-byte form.
const QByteArray kJunk("\0\xff\xfe\xc3\x28\xed\xa0\x80\xf8\x88\x80\x80\x80\0\n", 15);

QByteArray head(int status, const char* reason, const QByteArray& lengthLine, const QByteArray& extra = {})
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    text += "Content-Type: text/html\r\n";
    if (!lengthLine.isEmpty()) {
        text += lengthLine + "\r\n";
    }
    return text + extra + "Connection: close\r\n\r\n";
}

QByteArray lengthOf(qsizetype size)
{
    return "Content-Length: " + QByteArray::number(size);
}

// Sends in pieces of odd sizes, so that the client's reads split at every kind of place.
bool sendInPieces(HttpConnection& connection, QByteArrayView bytes, qsizetype piece)
{
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        if (!connection.send(bytes.sliced(at, std::min(piece, bytes.size() - at)))) {
            return false;
        }
    }
    return true;
}

QByteArray chunked(const QByteArray& body, qsizetype chunk)
{
    QByteArray out;
    for (qsizetype at = 0; at < body.size(); at += chunk) {
        const QByteArray part = body.mid(at, chunk);
        out += QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n";
    }
    return out + "0\r\n\r\n";
}

quint32 crc32(const QByteArray& data)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t {};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data) {
        crc = table[(crc ^ quint8(byte)) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

// Deflate's bit order: values go out least significant bit first, Huffman codes most
// significant bit first.
class BitWriter
{
public:
    void bits(quint32 value, int count)
    {
        for (int i = 0; i < count; ++i) {
            put((value >> i) & 1);
        }
    }
    void code(quint32 code, int length)
    {
        for (int i = length - 1; i >= 0; --i) {
            put((code >> i) & 1);
        }
    }
    QByteArray finish()
    {
        if (m_used > 0) {
            m_out.append(char(m_byte));
        }
        return m_out;
    }

private:
    void put(quint32 bit)
    {
        m_byte |= quint8(bit << m_used);
        if (++m_used == 8) {
            m_out.append(char(m_byte));
            m_byte = 0;
            m_used = 0;
        }
    }

    QByteArray m_out;
    quint8 m_byte = 0;
    int m_used = 0;
};

} // namespace

const char* faultName(Fault fault)
{
    switch (fault) {
    case Fault::RefusedConnection:
        return "RefusedConnection";
    case Fault::ResetBeforeAnyByte:
        return "ResetBeforeAnyByte";
    case Fault::ResetMidBody:
        return "ResetMidBody";
    case Fault::HeadersThenSilence:
        return "HeadersThenSilence";
    case Fault::TrickleSlowerThanTheFetch:
        return "TrickleSlowerThanTheFetch";
    case Fault::EmptyBody:
        return "EmptyBody";
    case Fault::BodyAboveTheCap:
        return "BodyAboveTheCap";
    case Fault::UndeclaredBodyAboveTheCap:
        return "UndeclaredBodyAboveTheCap";
    case Fault::Chunked:
        return "Chunked";
    case Fault::UnaskedGzip:
        return "UnaskedGzip";
    case Fault::RedirectLoop:
        return "RedirectLoop";
    case Fault::ContentLengthAboveBody:
        return "ContentLengthAboveBody";
    case Fault::ContentLengthBelowBody:
        return "ContentLengthBelowBody";
    case Fault::ContentLengthNegative:
        return "ContentLengthNegative";
    case Fault::ContentLengthNotANumber:
        return "ContentLengthNotANumber";
    case Fault::StatusLineNotHttp:
        return "StatusLineNotHttp";
    case Fault::NulAndInvalidUtf8:
        return "NulAndInvalidUtf8";
    }
    return "?";
}

FaultServer::FaultServer(Fault fault, Payload payload)
    : m_faultFor([fault](const HttpRequest&) { return fault; })
    , m_payload(std::move(payload))
{
    if (fault != Fault::RefusedConnection) {
        m_server = std::make_unique<LocalHttpServer>(
            [this](const HttpRequest& request, HttpConnection& connection) { serve(request, connection); });
        m_port = m_server->port();
        return;
    }
    // A bound socket that never listens keeps the port ours, and the kernel refuses every
    // connection to it.
    m_reservedFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_reservedFd < 0 || ::bind(m_reservedFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(m_reservedFd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (m_reservedFd >= 0) {
            ::close(m_reservedFd);
        }
        throw std::runtime_error("FaultServer: cannot reserve a port");
    }
    m_port = ntohs(address.sin_port);
}

FaultServer::FaultServer(FaultFor faultFor, Payload payload)
    : m_faultFor(std::move(faultFor))
    , m_payload(std::move(payload))
    , m_server(std::make_unique<LocalHttpServer>(
          [this](const HttpRequest& request, HttpConnection& connection) { serve(request, connection); }))
    , m_port(m_server->port())
{ }

FaultServer::~FaultServer()
{
    if (m_server) {
        m_server->stop();
    }
    if (m_reservedFd >= 0) {
        ::close(m_reservedFd);
    }
}

QByteArray FaultServer::url(QByteArrayView path) const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port) + path.toByteArray();
}

int FaultServer::requestCount() const
{
    return m_server ? m_server->requestCount() : 0;
}

QByteArray FaultServer::defaultPayload()
{
    QByteArray bytes(20011, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bytes[i] = char((i * 131 + i / 256) & 0xFF);
    }
    return bytes;
}

QByteArray FaultServer::servedBody(Fault fault, const QByteArray& payload)
{
    switch (fault) {
    case Fault::UnaskedGzip:
        return gzip(payload);
    case Fault::NulAndInvalidUtf8:
        return kJunk + payload.left(cutAt(payload)) + kJunk + payload.mid(cutAt(payload)) + kJunk;
    case Fault::BodyAboveTheCap:
    case Fault::UndeclaredBodyAboveTheCap:
        return payload + QByteArray(std::max<qsizetype>(0, OversizeBytes - payload.size()), ' ');
    default:
        return payload;
    }
}

QByteArray FaultServer::gzip(const QByteArray& data)
{
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    BitWriter deflate;
    deflate.bits(1, 1); // the final block
    deflate.bits(1, 2); // fixed Huffman codes
    for (const char c : data) {
        const quint8 byte = quint8(c);
        if (byte < 144) {
            deflate.code(0x30u + byte, 8);
        } else {
            deflate.code(0x190u + (byte - 144u), 9);
        }
    }
    deflate.code(0, 7); // end of block
    out += deflate.finish();
    quint32 trailer[2] = { qToLittleEndian(crc32(data)), qToLittleEndian(quint32(data.size())) };
    out.append(reinterpret_cast<const char*>(trailer), sizeof trailer);
    return out;
}

void FaultServer::serve(const HttpRequest& request, HttpConnection& connection)
{
    const Fault fault = m_faultFor(request);
    const QByteArray body = servedBody(fault, m_payload ? m_payload(request) : defaultPayload());
    const qsizetype cut = cutAt(body);
    switch (fault) {
    case Fault::RefusedConnection: // never reaches a handler
    case Fault::ResetBeforeAnyByte:
        connection.reset();
        return;
    case Fault::ResetMidBody:
        if (connection.send(head(200, "OK", lengthOf(body.size()))) && connection.send(body.first(cut))) {
            connection.sleepMs(kSettleMs);
        }
        connection.reset();
        return;
    case Fault::HeadersThenSilence:
        if (connection.send(head(200, "OK", lengthOf(body.size())))) {
            connection.sleepMs(kSilenceMs);
        }
        return;
    case Fault::TrickleSlowerThanTheFetch:
        if (!connection.send(head(200, "OK", lengthOf(body.size())))) {
            return;
        }
        for (const char byte : body) {
            if (!connection.send(QByteArrayView(&byte, 1)) || !connection.sleepMs(TrickleIntervalMs)) {
                return;
            }
        }
        return;
    case Fault::EmptyBody:
        connection.respond(200, "");
        return;
    case Fault::BodyAboveTheCap:
        if (connection.send(head(200, "OK", lengthOf(body.size())))) {
            sendInPieces(connection, body, 64 * 1024);
        }
        return;
    case Fault::UndeclaredBodyAboveTheCap:
        if (connection.send(head(200, "OK", {}))) {
            sendInPieces(connection, body, 64 * 1024);
        }
        return;
    case Fault::Chunked:
        if (connection.send(head(200, "OK", {}, "Transfer-Encoding: chunked\r\n"))) {
            sendInPieces(connection, chunked(body, ChunkBytes), 1001);
        }
        return;
    case Fault::UnaskedGzip:
        connection.respond(200, body, { { "Content-Encoding", "gzip" } });
        return;
    case Fault::RedirectLoop:
        connection.respond(302, "moved", { { "Location", request.target } });
        return;
    case Fault::ContentLengthAboveBody:
        if (connection.send(head(200, "OK", lengthOf(body.size() + 1000))) && connection.send(body)) {
            connection.sleepMs(kSettleMs);
        }
        return;
    case Fault::ContentLengthBelowBody:
        if (connection.send(head(200, "OK", lengthOf(cut))) && connection.send(body)) {
            connection.sleepMs(kSettleMs);
        }
        return;
    case Fault::ContentLengthNegative:
        connection.send(head(200, "OK", "Content-Length: -" + QByteArray::number(body.size())) + body);
        return;
    case Fault::ContentLengthNotANumber:
        connection.send(head(200, "OK", "Content-Length: twelve") + body);
        return;
    case Fault::StatusLineNotHttp:
        connection.send("SSH-2.0-OpenSSH_9.2p1\r\n" + body);
        return;
    case Fault::NulAndInvalidUtf8:
        connection.respond(200, body);
        return;
    }
}

} // namespace shoulu::test
