#include "archive/PageCodec.h"

#define ZDICT_STATIC_LINKING_ONLY
#include <vector>
#include <zdict.h>
#include <zstd.h>

namespace shoulu {

namespace {

Error zstdError(const char* what, size_t code)
{
    return Error { QStringLiteral("%1 failed: %2").arg(QLatin1String(what), QLatin1String(ZSTD_getErrorName(code))) };
}

} // namespace

PageDictionary::PageDictionary(qint64 id, QByteArray bytes, int level)
    : m_id(id)
    , m_bytes(std::move(bytes))
    , m_compress(ZSTD_createCDict(m_bytes.constData(), static_cast<size_t>(m_bytes.size()), level))
    , m_decompress(ZSTD_createDDict(m_bytes.constData(), static_cast<size_t>(m_bytes.size())))
{ }

PageDictionary::~PageDictionary()
{
    ZSTD_freeCDict(m_compress);
    ZSTD_freeDDict(m_decompress);
}

PageCodec::PageCodec()
    : m_compress(ZSTD_createCCtx())
    , m_decompress(ZSTD_createDCtx())
{ }

PageCodec::~PageCodec()
{
    ZSTD_freeCCtx(m_compress);
    ZSTD_freeDCtx(m_decompress);
}

Result<QByteArray> PageCodec::compress(QByteArrayView body, const PageDictionary* dictionary)
{
    if (m_compress == nullptr) {
        return Error { QStringLiteral("compression failed: out of memory") };
    }
    QByteArray stored(static_cast<qsizetype>(ZSTD_compressBound(static_cast<size_t>(body.size()))), Qt::Uninitialized);
    const size_t written = dictionary != nullptr
        ? ZSTD_compress_usingCDict(m_compress, stored.data(), static_cast<size_t>(stored.size()), body.data(),
            static_cast<size_t>(body.size()), dictionary->m_compress)
        : ZSTD_compressCCtx(m_compress, stored.data(), static_cast<size_t>(stored.size()), body.data(),
            static_cast<size_t>(body.size()), Level);
    if (ZSTD_isError(written) != 0) {
        return zstdError("compression", written);
    }
    stored.truncate(static_cast<qsizetype>(written));
    stored.squeeze();
    return stored;
}

Result<QByteArray> PageCodec::decompress(QByteArrayView stored, qint64 size, const PageDictionary* dictionary)
{
    if (m_decompress == nullptr) {
        return Error { QStringLiteral("decompression failed: out of memory") };
    }
    const unsigned long long framed = ZSTD_getFrameContentSize(stored.data(), static_cast<size_t>(stored.size()));
    if (size < 0 || framed != static_cast<unsigned long long>(size)) {
        return Error { QStringLiteral("the stored page is damaged: its length does not match") };
    }
    QByteArray body(static_cast<qsizetype>(size), Qt::Uninitialized);
    const size_t read = dictionary != nullptr
        ? ZSTD_decompress_usingDDict(m_decompress, body.data(), static_cast<size_t>(body.size()), stored.data(),
            static_cast<size_t>(stored.size()), dictionary->m_decompress)
        : ZSTD_decompressDCtx(m_decompress, body.data(), static_cast<size_t>(body.size()), stored.data(),
            static_cast<size_t>(stored.size()));
    if (ZSTD_isError(read) != 0) {
        return zstdError("decompression", read);
    }
    if (read != static_cast<size_t>(size)) {
        return Error { QStringLiteral("the stored page is damaged: it is cut short") };
    }
    return body;
}

Result<QByteArray> trainDictionary(const QList<QByteArray>& samples, qsizetype capacity)
{
    QByteArray joined;
    std::vector<size_t> sizes;
    for (const QByteArray& sample : samples) {
        joined += sample;
        sizes.push_back(static_cast<size_t>(sample.size()));
    }
    QByteArray dictionary(capacity, Qt::Uninitialized);
    // A fixed segment and k instead of ZDICT's search over them: as good on result pages, many times faster.
    ZDICT_fastCover_params_t params {};
    params.k = 1024;
    params.d = 8;
    params.f = 20;
    params.accel = 1;
    params.zParams.compressionLevel = PageCodec::Level;
    const size_t made = ZDICT_trainFromBuffer_fastCover(dictionary.data(), static_cast<size_t>(capacity),
        joined.constData(), sizes.data(), static_cast<unsigned>(sizes.size()), params);
    if (ZDICT_isError(made) != 0) {
        return Error {
            QStringLiteral("training a dictionary failed: %1").arg(QLatin1String(ZDICT_getErrorName(made)))
        };
    }
    dictionary.truncate(static_cast<qsizetype>(made));
    return dictionary;
}

} // namespace shoulu
