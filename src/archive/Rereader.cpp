#include "archive/Rereader.h"

#include "archive/PageArchive.h"
#include "engines/EngineCatalogue.h"
#include "engines/EngineTable.h"
#include "engines/PageReader.h"
#include "store/Database.h"
#include "store/Transaction.h"

#include <QDateTime>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>
#include <utility>
#include <vector>

namespace shoulu {

namespace {

struct ReadBack
{
    bool read = false; // false: the engine is no longer known, or the page is damaged
    Reading reading;
    QString damage;
};

// Every page of `fetches` read as its engine now reads, one thread per catalogue.
std::vector<ReadBack> readAll(const std::vector<StoredFetch>& fetches, const std::vector<EngineCatalogue>& catalogues)
{
    std::vector<ReadBack> results(fetches.size());
    std::atomic<size_t> next { 0 };
    const auto work = [&](const EngineCatalogue& catalogue) {
        PageCodec codec;
        for (size_t i = next++; i < fetches.size(); i = next++) {
            const StoredFetch& stored = fetches[i];
            const int engine = catalogue.find(stored.facts.engine);
            if (engine < 0) {
                continue; // an engine taken out of the catalogue: its readings stay as they are
            }
            auto body = codec.decompress(stored.stored, stored.facts.size, stored.dictionary.get());
            if (!body) {
                results[i].damage = body.error();
                continue;
            }
            Reply page;
            page.arrived = true;
            page.body = std::move(*body);
            page.httpStatus = stored.facts.httpStatus;
            page.finalUrl = stored.facts.finalUrl;
            page.contentType = stored.facts.contentType;
            page.cutShort = stored.facts.incomplete;
            results[i] = { true, readReply(catalogue.engine(engine), page), {} };
        }
    };
    std::vector<std::thread> helpers;
    for (size_t i = 1; i < catalogues.size(); ++i) {
        helpers.emplace_back(work, std::cref(catalogues[i]));
    }
    work(catalogues.front());
    for (std::thread& helper : helpers) {
        helper.join();
    }
    return results;
}

struct StoredReading
{
    qint64 rowId = 0;
    ReadingStatus status = ReadingStatus::Failed;
    Count count = 0;
    QDate date;
};

using ReadingKey = std::pair<QString, qint64>; // engine, fetched at

// The readings of a domain's rows, by what links them to their pages.
Result<std::map<ReadingKey, StoredReading>> readingsOf(Database& db, const QString& domain, qint64 since)
{
    auto statement = db.prepare("SELECT r.shoulu_id, r.engine, r.fetched_at, r.status, r.count, s.yyyy, s.mm, s.dd"
                                " FROM shoulu s JOIN reading r ON r.shoulu_id = s.id"
                                " WHERE s.domain = ?1 AND r.fetched_at >= ?2 ORDER BY s.id");
    if (!statement) {
        return statement.failure();
    }
    if (auto bound = statement->bindAll(domain, std::int64_t { since }); !bound) {
        return bound.failure();
    }
    std::map<ReadingKey, StoredReading> readings;
    auto read = statement->forEachRow([&] {
        StoredReading& reading = readings[{ statement->textAt(1), statement->int64At(2) }];
        reading.rowId = statement->int64At(0);
        reading.status = statusFromWord(statement->textAt(3)).value_or(ReadingStatus::Failed);
        reading.count = statement->int64At(4);
        reading.date = QDate(static_cast<int>(statement->int64At(5)), static_cast<int>(statement->int64At(6)),
            static_cast<int>(statement->int64At(7)));
    });
    if (!read) {
        return read.failure();
    }
    return readings;
}

struct Update
{
    qint64 fetchId;
    qint64 rowId;
    int column; // among the stored engines; -1: the figure lives in the reading only
    RereadChange change;
};

Result<void> storeUpdates(Database& db, const std::vector<Update>& updates)
{
    auto reading = db.prepare("UPDATE reading SET status = ?3, count = ?4, reread_at = ?5"
                              " WHERE shoulu_id = ?1 AND engine = ?2");
    if (!reading) {
        return reading.failure();
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (const Update& update : updates) {
        const RereadChange& change = update.change;
        reading->reset();
        if (auto bound = reading->bindAll(std::int64_t { update.rowId }, change.engine, statusWord(change.newStatus),
                std::int64_t { change.newCount }, std::int64_t { now });
            !bound) {
            return bound;
        }
        if (auto ran = reading->run(); !ran) {
            return ran;
        }
        if (update.column < 0) {
            continue;
        }
        // The column name comes from the engine table, never from stored text.
        const QByteArray sql
            = QByteArray("UPDATE shoulu SET ") + engineInfo(update.column).name + " = ?2 WHERE id = ?1";
        auto figure = db.prepare(sql.constData());
        if (!figure) {
            return figure.failure();
        }
        if (auto bound = figure->bindAll(std::int64_t { update.rowId }, std::int64_t { change.newCount }); !bound) {
            return bound;
        }
        if (auto ran = figure->run(); !ran) {
            return ran;
        }
    }
    return {};
}

} // namespace

Rereader::Rereader(Database& settings, PageArchive& archive, QString catalogueFile)
    : m_settings(settings)
    , m_archive(archive)
    , m_catalogueFile(std::move(catalogueFile))
{ }

Result<RereadSummary> Rereader::run(const RereadOptions& options, const ChangeHandler& onChange)
{
    // One catalogue per thread: the compiled rules are not shared across threads.
    std::vector<EngineCatalogue> catalogues;
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1U, 4U);
    for (unsigned i = 0; i < threads; ++i) {
        auto catalogue = EngineCatalogue::load(m_catalogueFile);
        if (!catalogue) {
            return catalogue.failure();
        }
        catalogues.push_back(std::move(*catalogue));
    }
    FetchFilter filter;
    filter.domain = options.domain;
    filter.since = options.since;
    auto domains = m_archive.domains(filter);
    if (!domains) {
        return domains.failure();
    }
    RereadSummary summary;
    for (const QString& domain : std::as_const(*domains)) {
        filter.domain = domain;
        auto fetches = m_archive.storedFetches(filter);
        if (!fetches) {
            return fetches.failure();
        }
        auto stored = readingsOf(m_settings, domain, options.since);
        if (!stored) {
            return stored.failure();
        }
        const std::vector<ReadBack> results = readAll(*fetches, catalogues);
        ++summary.domains;
        summary.pages += static_cast<int>(fetches->size());
        std::vector<Update> updates;
        for (size_t i = 0; i < results.size(); ++i) {
            const ArchivedFetch& facts = (*fetches)[i].facts;
            const ReadBack& result = results[i];
            if (!result.damage.isEmpty() && summary.damaged++ == 0) {
                summary.firstDamage = QStringLiteral("page %1: %2").arg(facts.id).arg(result.damage);
            }
            auto found = stored->find({ facts.engine, facts.fetchedAt });
            if (!result.read || found == stored->end()) {
                continue;
            }
            ++summary.linked;
            const StoredReading& old = found->second;
            const Reading& now = result.reading;
            if (old.status == now.status && old.count == now.count) {
                continue;
            }
            const int engine = catalogues.front().find(facts.engine);
            const int column = catalogues.front().engine(engine).column;
            updates.push_back({ facts.id, old.rowId, column >= 0 && column < EngineCount ? column : -1,
                { domain, old.date, facts.engine, old.status, old.count, now.status, now.count } });
        }
        if (!options.dryRun && !updates.empty()) {
            if (auto done = inTransaction(m_settings, [&] { return storeUpdates(m_settings, updates); }); !done) {
                return done.failure().reworded(
                    QStringLiteral("%1: nothing of it was changed: %2").arg(domain, done.error()));
            }
            // What retention spares follows the new reading; a failure here costs no figure.
            (void)inTransaction(m_archive.database(), [&]() -> Result<void> {
                for (const Update& update : updates) {
                    if (auto set = m_archive.setTrusted(update.fetchId, isTrustworthy(update.change.newStatus)); !set) {
                        return set;
                    }
                }
                return {};
            });
        }
        for (const Update& update : updates) {
            onChange(update.change);
        }
        summary.changed += static_cast<int>(updates.size());
    }
    return summary;
}

} // namespace shoulu
