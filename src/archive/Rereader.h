#pragma once

#include "engines/Reading.h"
#include "util/Result.h"

#include <QDate>
#include <QString>

#include <functional>

namespace shoulu {

class Database;
class PageArchive;

// A reading whose archived page reads otherwise under the current catalogue.
struct RereadChange
{
    QString domain;
    QDate date; // of the row
    QString engine;
    ReadingStatus oldStatus = ReadingStatus::Failed;
    Count oldCount = 0;
    ReadingStatus newStatus = ReadingStatus::Failed;
    Count newCount = 0;
};

struct RereadOptions
{
    QString domain; // empty: every archived domain
    qint64 since = 0; // pages fetched at or after, seconds since the epoch
    bool dryRun = false; // report the changes, store none
};

struct RereadSummary
{
    int domains = 0;
    int pages = 0; // archived pages read again
    int linked = 0; // of them, pages whose reading is in the database
    int changed = 0;
    int damaged = 0; // pages the archive could not give back
    QString firstDamage; // why the first of them could not
};

// Reads archived pages again with the current catalogue (built-in plus the user's file) and
// updates the readings and row figures that change, one transaction per domain. A changed
// reading keeps the rule it was first read with and records when it was read again.
// Pages are read on every core; the catalogue file is loaded once per thread.
class Rereader
{
public:
    using ChangeHandler = std::function<void(const RereadChange&)>;

    Rereader(Database& settings, PageArchive& archive, QString catalogueFile);
    // onChange sees each change as its domain is done (committed, unless a dry run).
    Result<RereadSummary> run(const RereadOptions& options, const ChangeHandler& onChange);

private:
    Database& m_settings;
    PageArchive& m_archive;
    QString m_catalogueFile;
};

} // namespace shoulu
