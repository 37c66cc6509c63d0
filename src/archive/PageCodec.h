#pragma once

#include "util/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <memory>

struct ZSTD_CCtx_s;
struct ZSTD_DCtx_s;
struct ZSTD_CDict_s;
struct ZSTD_DDict_s;

namespace shoulu {

// A trained zstd dictionary, ready for both directions.
class PageDictionary
{
public:
    PageDictionary(qint64 id, QByteArray bytes, int level);
    ~PageDictionary();
    PageDictionary(const PageDictionary&) = delete;
    PageDictionary& operator=(const PageDictionary&) = delete;

    qint64 id() const { return m_id; }
    const QByteArray& bytes() const { return m_bytes; }
    bool isUsable() const { return m_compress != nullptr && m_decompress != nullptr; }

private:
    friend class PageCodec;
    qint64 m_id;
    QByteArray m_bytes;
    ZSTD_CDict_s* m_compress;
    ZSTD_DDict_s* m_decompress;
};

// zstd compression of page bodies, with or without a dictionary. One per thread: the contexts
// are reused from page to page.
class PageCodec
{
public:
    static constexpr int Level = 3;

    PageCodec();
    ~PageCodec();
    PageCodec(const PageCodec&) = delete;
    PageCodec& operator=(const PageCodec&) = delete;

    Result<QByteArray> compress(QByteArrayView body, const PageDictionary* dictionary = nullptr);
    // `size` is the body's stored length; a frame that gives any other is refused as damaged.
    Result<QByteArray> decompress(QByteArrayView stored, qint64 size, const PageDictionary* dictionary = nullptr);

private:
    ZSTD_CCtx_s* m_compress;
    ZSTD_DCtx_s* m_decompress;
};

// A dictionary of at most `capacity` bytes from sample bodies (ZDICT); an error when the
// samples are too few or too alike to train on.
Result<QByteArray> trainDictionary(const QList<QByteArray>& samples, qsizetype capacity);

} // namespace shoulu
