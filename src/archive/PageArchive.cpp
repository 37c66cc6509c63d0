#include "archive/PageArchive.h"

#include "archive/ArchiveSchema.h"
#include "store/Database.h"
#include "store/Transaction.h"
#include "util/StateFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

#include <limits>

namespace shoulu {

namespace {

// Samples beyond this would only slow the training down.
constexpr qsizetype MaxTrainingBytes = 16 * 1024 * 1024;

const char* const FactColumns = "f.id, f.domain, f.engine, f.fetched_at, f.final_url, f.http_status, f.content_type,"
                                " f.trusted, b.size, b.stored_size, f.incomplete, f.linked";
constexpr int FactColumnCount = 12;

// ?1 domain, ?2 engine (empty: any), ?3 and ?4 the range of fetched_at.
const char* const FilterClause = " FROM fetch f JOIN body b ON b.id = f.body_id"
                                 " WHERE (?1 = '' OR f.domain = ?1) AND (?2 = '' OR f.engine = ?2)"
                                 " AND f.fetched_at >= ?3 AND f.fetched_at < ?4";

Result<void> bindFilter(Statement& statement, const FetchFilter& filter)
{
    qint64 from = filter.since;
    qint64 until = std::numeric_limits<qint64>::max();
    if (filter.day.isValid()) {
        from = std::max(from, filter.day.startOfDay().toSecsSinceEpoch());
        until = filter.day.addDays(1).startOfDay().toSecsSinceEpoch();
    }
    return statement.bindAll(filter.domain, filter.engine, std::int64_t { from }, std::int64_t { until });
}

ArchivedFetch factsAt(const Statement& statement)
{
    ArchivedFetch facts;
    facts.id = statement.int64At(0);
    facts.domain = statement.textAt(1);
    facts.engine = statement.textAt(2);
    facts.fetchedAt = statement.int64At(3);
    facts.finalUrl = statement.textAt(4).toUtf8();
    facts.httpStatus = static_cast<int>(statement.int64At(5));
    facts.contentType = statement.textAt(6).toUtf8();
    facts.trusted = statement.int64At(7) != 0;
    facts.size = statement.int64At(8);
    facts.storedSize = statement.int64At(9);
    facts.incomplete = statement.int64At(10) != 0;
    facts.hasReading = statement.int64At(11) != 0;
    return facts;
}

Result<Statement> filtered(Database& db, const QByteArray& sql, const FetchFilter& filter)
{
    auto statement = db.prepare(sql.constData());
    if (!statement) {
        return statement;
    }
    if (auto bound = bindFilter(*statement, filter); !bound) {
        return bound.failure();
    }
    return statement;
}

const char* const FetchById = " FROM fetch f JOIN body b ON b.id = f.body_id WHERE f.id = ?1";

// The statement stands on the fetch's row; an error when there is no such fetch.
Result<Statement> fetchRow(Database& db, const QByteArray& sql, qint64 id)
{
    auto statement = db.prepare(sql.constData());
    if (!statement) {
        return statement;
    }
    if (auto bound = statement->bind(1, std::int64_t { id }); !bound) {
        return bound.failure();
    }
    auto found = statement->step();
    if (!found) {
        return found.failure();
    }
    if (!*found) {
        return Error { QStringLiteral("no archived page has the id %1").arg(id) };
    }
    return statement;
}

Result<std::unique_ptr<Database>> connect(const QString& path, PageArchive::Mode mode)
{
    if (Result<void> fits = checkStateFile(path); !fits) {
        return fits.failure();
    }
    const bool exists = QFileInfo::exists(path);
    if (!exists && mode == PageArchive::Mode::Existing) {
        return Error { QStringLiteral("%1 does not exist: no page has been archived there").arg(path) };
    }
    if (!exists) {
        QFile file(path);
        // The pages are public, but what a user looked up is not: owner only, from the first moment.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
            && !QFileInfo::exists(path)) {
            return Error { QStringLiteral("cannot create %1: %2").arg(path, file.errorString()) };
        }
    }
    auto db = Database::open(path, Database::OpenMode::Existing);
    if (!db) {
        return db;
    }
    Database& connection = **db;
    connection.setBusyTimeout(5000);
    auto blank = ArchiveSchema::isBlank(connection);
    if (!blank) {
        const int code = connection.errorCode() & 0xff;
        if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT) {
            return Error {
                QStringLiteral("%1 is damaged or not a page archive (%2)").arg(path, connection.errorMessage())
            };
        }
        return blank.failure();
    }
    if (*blank && mode == PageArchive::Mode::Existing) {
        return Error { QStringLiteral("%1 holds no archived pages").arg(path) };
    }
    if (auto made = *blank ? ArchiveSchema::create(connection) : ArchiveSchema::check(connection); !made) {
        return made.failure();
    }
    // Readers (a listing, the window) go on while a query writes.
    if (auto set = connection.exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL"); !set) {
        return set.failure();
    }
    return db;
}

} // namespace

QString PageArchive::fileBeside(const QString& databasePath)
{
    return QFileInfo(databasePath).dir().filePath(QLatin1String(DefaultFileName));
}

Result<std::unique_ptr<PageArchive>> PageArchive::open(const QString& path, Mode mode)
{
    auto db = connect(path, mode);
    if (!db) {
        return db.failure();
    }
    return std::unique_ptr<PageArchive>(new PageArchive(std::move(*db)));
}

PageArchive::PageArchive(std::unique_ptr<Database> db)
    : m_db(std::move(db))
{ }

PageArchive::~PageArchive() = default;

const QString& PageArchive::path() const
{
    return m_db->path();
}

Result<qint64> PageArchive::store(const Reply& page, bool trusted)
{
    const QByteArray hash = QCryptographicHash::hash(page.body, QCryptographicHash::Sha256);
    qint64 fetchId = 0;
    auto stored = inTransaction(*m_db, [&]() -> Result<void> {
        auto bodyId = storeBody(hash, page);
        if (!bodyId) {
            return bodyId.failure();
        }
        auto insert = m_db->prepare("INSERT INTO fetch (domain, engine, fetched_at, final_url, http_status,"
                                    " content_type, trusted, body_id, incomplete, linked)"
                                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, 0)");
        if (!insert) {
            return insert.failure();
        }
        // Archived before its row commits: without its reading until link() says otherwise.
        if (auto bound = insert->bindAll(page.domain, page.engine, std::int64_t { page.fetchedAt.toSecsSinceEpoch() },
                QString::fromUtf8(page.finalUrl), std::int64_t { page.httpStatus }, QString::fromUtf8(page.contentType),
                std::int64_t { trusted ? 1 : 0 }, std::int64_t { *bodyId }, std::int64_t { page.cutShort ? 1 : 0 });
            !bound) {
            return bound;
        }
        if (auto ran = insert->run(); !ran) {
            return ran;
        }
        fetchId = m_db->lastInsertId();
        return {};
    });
    if (!stored) {
        return stored.failure();
    }
    if (auto trained = trainIfDue(page.engine); !trained) {
        return trained.failure();
    }
    return fetchId;
}

Result<qint64> PageArchive::storeBody(const QByteArray& hash, const Reply& page)
{
    auto known = m_db->oneValue<std::int64_t>("SELECT id FROM body WHERE hash = ?1", hash);
    if (!known) {
        return known.failure();
    }
    if (*known) {
        return **known;
    }
    auto dictionary = dictionaryOf(page.engine);
    if (!dictionary) {
        return dictionary.failure();
    }
    auto compressed = m_codec.compress(page.body, dictionary->get());
    if (!compressed) {
        return compressed.failure();
    }
    auto insert = m_db->prepare(
        "INSERT INTO body (hash, size, stored_size, dictionary_id, data) VALUES (?1, ?2, ?3, nullif(?4, 0), ?5)");
    if (!insert) {
        return insert.failure();
    }
    const std::int64_t dictionaryId = *dictionary ? (*dictionary)->id() : 0;
    if (auto bound = insert->bindAll(
            hash, std::int64_t { page.body.size() }, std::int64_t { compressed->size() }, dictionaryId, *compressed);
        !bound) {
        return bound.failure();
    }
    if (auto ran = insert->run(); !ran) {
        return ran.failure();
    }
    return m_db->lastInsertId();
}

Result<std::shared_ptr<const PageDictionary>> PageArchive::dictionaryById(qint64 id)
{
    if (id == 0) {
        return std::shared_ptr<const PageDictionary>();
    }
    if (auto known = m_dictionaries.find(id); known != m_dictionaries.end()) {
        return known->second;
    }
    auto found = m_db->oneValue<QByteArray>("SELECT data FROM dictionary WHERE id = ?1", std::int64_t { id });
    if (!found) {
        return found.failure();
    }
    auto dictionary = std::make_shared<const PageDictionary>(id, found->value_or(QByteArray()), PageCodec::Level);
    if (!*found || !dictionary->isUsable()) {
        return Error {
            QStringLiteral("%1 is damaged: compression dictionary %2 is missing or unusable").arg(path()).arg(id)
        };
    }
    m_dictionaries.emplace(id, dictionary);
    return std::shared_ptr<const PageDictionary>(dictionary);
}

Result<std::shared_ptr<const PageDictionary>> PageArchive::dictionaryOf(const QString& engine)
{
    auto known = m_engineDictionary.find(engine);
    if (known == m_engineDictionary.end()) {
        auto found = m_db->oneValue<std::int64_t>("SELECT max(id) FROM dictionary WHERE engine = ?1", engine);
        if (!found) {
            return found.failure();
        }
        known = m_engineDictionary.emplace(engine, found->value_or(0)).first;
    }
    return dictionaryById(known->second);
}

Result<void> PageArchive::trainIfDue(const QString& engine)
{
    auto current = dictionaryOf(engine);
    if (!current || *current) {
        return current ? Result<void>() : current.failure();
    }
    auto counted = m_db->oneValue<std::int64_t>("SELECT count(*) FROM fetch WHERE engine = ?1", engine);
    if (!counted) {
        return counted.failure();
    }
    const qint64 pages = counted->value_or(0);
    // Tried again only a batch later: a failed training is not worth repeating page by page.
    if (pages < TrainAfter || pages % TrainAfter != 0) {
        return {};
    }
    auto samples = m_db->prepare("SELECT data, size, coalesce(dictionary_id, 0) FROM body WHERE id IN ("
                                 " SELECT body_id FROM fetch WHERE engine = ?1 ORDER BY fetched_at DESC, id DESC"
                                 " LIMIT ?2)");
    if (!samples) {
        return samples.failure();
    }
    if (auto bound = samples->bindAll(engine, std::int64_t { TrainSamples }); !bound) {
        return bound;
    }
    QList<QByteArray> bodies;
    qsizetype total = 0;
    while (total < MaxTrainingBytes) {
        auto more = samples->step();
        if (!more) {
            return more.failure();
        }
        if (!*more) {
            break;
        }
        auto body = decompress(samples->bytesAt(0), samples->int64At(1), samples->int64At(2));
        if (!body) {
            return body.failure();
        }
        total += body->size();
        bodies.append(std::move(*body));
    }
    auto trained = trainDictionary(bodies, DictionaryCapacity);
    if (!trained) {
        return {}; // too few or too small pages to learn from: they stay compressed without one
    }
    auto insert = m_db->prepare("INSERT INTO dictionary (engine, created_at, data) VALUES (?1, ?2, ?3)");
    if (!insert) {
        return insert.failure();
    }
    if (auto bound = insert->bindAll(engine, std::int64_t { QDateTime::currentSecsSinceEpoch() }, *trained); !bound) {
        return bound;
    }
    if (auto ran = insert->run(); !ran) {
        return ran;
    }
    m_engineDictionary[engine] = m_db->lastInsertId();
    return {};
}

Result<QByteArray> PageArchive::decompress(QByteArrayView stored, qint64 size, qint64 dictionaryId)
{
    auto dictionary = dictionaryById(dictionaryId);
    if (!dictionary) {
        return dictionary.failure();
    }
    return m_codec.decompress(stored, size, dictionary->get());
}

Result<std::vector<ArchivedFetch>> PageArchive::list(const FetchFilter& filter)
{
    auto statement
        = filtered(*m_db, QByteArray("SELECT ") + FactColumns + FilterClause + " ORDER BY f.fetched_at, f.id", filter);
    if (!statement) {
        return statement.failure();
    }
    std::vector<ArchivedFetch> fetches;
    if (auto read = statement->forEachRow([&] { fetches.push_back(factsAt(*statement)); }); !read) {
        return read.failure();
    }
    return fetches;
}

Result<ArchivedFetch> PageArchive::facts(qint64 id)
{
    auto row = fetchRow(*m_db, QByteArray("SELECT ") + FactColumns + FetchById, id);
    if (!row) {
        return row.failure();
    }
    return factsAt(*row);
}

Result<QByteArray> PageArchive::body(qint64 id)
{
    auto row = fetchRow(*m_db, QByteArray("SELECT b.data, b.size, coalesce(b.dictionary_id, 0)") + FetchById, id);
    if (!row) {
        return row.failure();
    }
    return decompress(row->bytesAt(0), row->int64At(1), row->int64At(2));
}

Result<qint64> PageArchive::findFetch(const QString& domain, const QString& engine, qint64 fetchedAt)
{
    auto found = m_db->oneValue<std::int64_t>(
        "SELECT id FROM fetch WHERE domain = ?1 AND engine = ?2 AND fetched_at = ?3 ORDER BY id DESC LIMIT 1", domain,
        engine, std::int64_t { fetchedAt });
    if (!found) {
        return found.failure();
    }
    if (!*found) {
        return Error { QStringLiteral("the page of this reading is not in the archive") };
    }
    return **found;
}

Result<std::pair<ArchivedFetch, QByteArray>> PageArchive::pageOf(
    const QString& domain, const QString& engine, qint64 fetchedAt)
{
    auto id = findFetch(domain, engine, fetchedAt);
    auto found = id ? facts(*id) : Result<ArchivedFetch>(id.failure());
    auto page = found ? body(*id) : Result<QByteArray>(found.failure());
    if (!page) {
        return page.failure();
    }
    return std::pair { std::move(*found), std::move(*page) };
}

Result<QStringList> PageArchive::domains(const FetchFilter& filter)
{
    auto statement = m_db->prepare("SELECT DISTINCT domain FROM fetch WHERE (?1 = '' OR domain = ?1)"
                                   " AND fetched_at >= ?2 ORDER BY domain");
    if (!statement) {
        return statement.failure();
    }
    if (auto bound = statement->bindAll(filter.domain, std::int64_t { filter.since }); !bound) {
        return bound.failure();
    }
    QStringList names;
    if (auto read = statement->forEachRow([&] { names.append(statement->textAt(0)); }); !read) {
        return read.failure();
    }
    return names;
}

Result<std::vector<StoredFetch>> PageArchive::storedFetches(const FetchFilter& filter)
{
    auto statement = filtered(*m_db,
        QByteArray("SELECT ") + FactColumns + ", b.data, coalesce(b.dictionary_id, 0)" + FilterClause
            + " ORDER BY f.fetched_at, f.id",
        filter);
    if (!statement) {
        return statement.failure();
    }
    std::vector<StoredFetch> fetches;
    auto read = statement->forEachRow([&]() -> Result<void> {
        auto dictionary = dictionaryById(statement->int64At(FactColumnCount + 1));
        if (!dictionary) {
            return dictionary.failure();
        }
        fetches.push_back({ factsAt(*statement), statement->bytesAt(FactColumnCount).toByteArray(), *dictionary });
        return {};
    });
    if (!read) {
        return read.failure();
    }
    return fetches;
}

Result<void> PageArchive::setTrusted(qint64 id, bool trusted)
{
    auto statement = m_db->prepare("UPDATE fetch SET trusted = ?2 WHERE id = ?1");
    if (!statement) {
        return statement.failure();
    }
    if (auto bound = statement->bindAll(std::int64_t { id }, std::int64_t { trusted ? 1 : 0 }); !bound) {
        return bound;
    }
    return statement->run();
}

Result<void> PageArchive::link(const QString& domain, const QString& engine, qint64 fetchedAt)
{
    auto statement = m_db->prepare("UPDATE fetch SET linked = 1 WHERE domain = ?1 AND engine = ?2 AND "
                                   "fetched_at = ?3 AND linked = 0");
    if (!statement) {
        return statement.failure();
    }
    if (auto bound = statement->bindAll(domain, engine, std::int64_t { fetchedAt }); !bound) {
        return bound;
    }
    return statement->run();
}

} // namespace shoulu
