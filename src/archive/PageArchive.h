#pragma once

#include "archive/PageCodec.h"
#include "util/Reply.h"
#include "util/Result.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace shoulu {

class Database;

// The facts of one archived fetch; `id` is what `pages show` takes.
struct ArchivedFetch
{
    qint64 id = 0;
    QString domain;
    QString engine;
    qint64 fetchedAt = 0; // seconds since the epoch
    QByteArray finalUrl;
    int httpStatus = 0;
    QByteArray contentType;
    bool trusted = false;
    bool incomplete = false; // the reply was cut short
    bool hasReading = true; // false: archived, but its reading was never stored (the run was cut short)
    qint64 size = 0; // of the body
    qint64 storedSize = 0; // compressed, shared with every fetch of the same body
};

// A fetch with its body as stored, to be decompressed wherever the caller likes.
struct StoredFetch
{
    ArchivedFetch facts;
    QByteArray stored;
    std::shared_ptr<const PageDictionary> dictionary; // null: compressed without one
};

// Which fetches a listing takes; empty fields take all.
struct FetchFilter
{
    QString domain; // any letter case
    QString engine;
    QDate day; // local date of the fetch
    qint64 since = 0; // fetched at or after, seconds since the epoch
};

// pages.dat: every fetched body, byte for byte, kept once per content (SHA-256) and compressed
// with zstd, with a per-engine dictionary once enough of the engine's pages are in.
//   auto archive = PageArchive::open(path, PageArchive::Mode::CreateIfMissing); archive->store(page);
// Not thread-safe: one thread per object.
class PageArchive
{
public:
    static constexpr const char* DefaultFileName = "pages.dat";
    // An engine's dictionary is trained once this many of its pages are in, from the newest of them.
    static constexpr int TrainAfter = 32;
    static constexpr int TrainSamples = 64;
    static constexpr qsizetype DictionaryCapacity = 512 * 1024;

    enum class Mode {
        Existing, // a missing file is an error
        CreateIfMissing, // made, readable and writable by its owner only
    };

    // pages.dat in the folder of the database file.
    static QString fileBeside(const QString& databasePath);
    // Refuses (and leaves as it is) a damaged file, or one that is not a page archive.
    static Result<std::unique_ptr<PageArchive>> open(const QString& path, Mode mode);
    ~PageArchive();
    PageArchive(const PageArchive&) = delete;
    PageArchive& operator=(const PageArchive&) = delete;

    // Stores one fetch and, when new, its body; returns the fetch's id. All or nothing.
    // `trusted`: its reading was a figure. A reply cut short is kept as incomplete.
    Result<qint64> store(const Reply& page, bool trusted);
    Result<std::vector<ArchivedFetch>> list(const FetchFilter& filter);
    Result<ArchivedFetch> facts(qint64 id);
    Result<QByteArray> body(qint64 id);
    // The fetch of an engine's answer for a domain at a time, as its reading records them.
    Result<qint64> findFetch(const QString& domain, const QString& engine, qint64 fetchedAt);
    // The page a reading was read from, with its facts: what 查看网页 shows.
    Result<std::pair<ArchivedFetch, QByteArray>> pageOf(const QString& domain, const QString& engine, qint64 fetchedAt);
    // The domains that have fetches the filter takes (its domain and since only), in order.
    Result<QStringList> domains(const FetchFilter& filter);
    Result<std::vector<StoredFetch>> storedFetches(const FetchFilter& filter);
    Result<void> setTrusted(qint64 id, bool trusted);
    // The reading of the fetches of a domain's engine at a time is stored.
    Result<void> link(const QString& domain, const QString& engine, qint64 fetchedAt);

    Database& database() { return *m_db; }
    const QString& path() const;

private:
    explicit PageArchive(std::unique_ptr<Database> db);
    Result<std::shared_ptr<const PageDictionary>> dictionaryById(qint64 id);
    Result<std::shared_ptr<const PageDictionary>> dictionaryOf(const QString& engine);
    Result<qint64> storeBody(const QByteArray& hash, const Reply& page);
    Result<void> trainIfDue(const QString& engine);
    Result<QByteArray> decompress(QByteArrayView stored, qint64 size, qint64 dictionaryId);

    std::unique_ptr<Database> m_db;
    PageCodec m_codec;
    std::map<qint64, std::shared_ptr<const PageDictionary>> m_dictionaries; // by id
    std::map<QString, qint64> m_engineDictionary; // 0: the engine has none yet
};

} // namespace shoulu
