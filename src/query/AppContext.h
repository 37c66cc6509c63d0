#pragma once

#include "engines/EngineCatalogue.h"
#include "store/FileAccess.h"
#include "util/Language.h"
#include "util/Result.h"

#include <QString>

#include <memory>

class QTimer;

namespace shoulu {

class ArchiveWriter;
class BatchScheduler;
class Database;
class DomainList;
class DomainQuery;
class ResultRows;
class SettingsDatabase;

// Where the core's page archive goes and the language its failures are told in. No file:
// pages.dat beside the database. The file is made at the first page, not before.
struct PageArchiving
{
    QString file;
    Language language = Language::Chinese;
};

// The program's core, composed once: the open database, the domain list and result rows on
// it, the query and the batch scheduler with its timer, and the writer of the page archive
// that every page the query reads goes to. The window and the command line receive it; tests
// build their own on a file of their choosing.
//     auto context = AppContext::open(path, AppContext::catalogueBeside(path), CatalogueFault::UseBuiltIn);
class AppContext
{
public:
    // What a broken engine catalogue file does: the window goes on with the built-in rules and
    // says so once; the command line stops, so a script never runs on rules it did not ask for.
    enum class CatalogueFault { UseBuiltIn, Fail };

    // The window opens with Access::Read (a file it may not write still shows its history; queries
    // then refuse), the command line's queries with Access::Write. A catalogue file the user
    // named that cannot be read is a fault like a broken one.
    static Result<std::unique_ptr<AppContext>> open(const QString& databasePath, const QString& catalogueFile,
        CatalogueFault onFault, Access access = Access::Write, CatalogueFile kind = CatalogueFile::Beside,
        const PageArchiving& pages = {});
    ~AppContext();

    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    const QString& databasePath() const { return m_databasePath; }
    Database& database();
    DomainList& domains() { return *m_domains; }
    ResultRows& rows() { return *m_rows; }
    DomainQuery& query() { return *m_query; }
    BatchScheduler& batch() { return *m_batch; }
    // The batch's clock; its owner connects timeout() to batch().tick().
    QTimer& batchTimer() { return *m_batchTimer; }
    // Its failures are said on its own thread: connect them with a receiver.
    ArchiveWriter& archive() { return *m_archive; }
    // Why the catalogue file was passed over for the built-in one; empty when it was not.
    const QString& catalogueFault() const { return m_catalogueFault; }

private:
    AppContext() = default;

    QString m_databasePath;
    std::unique_ptr<SettingsDatabase> m_settings;
    std::unique_ptr<DomainList> m_domains;
    std::unique_ptr<ResultRows> m_rows;
    std::unique_ptr<ArchiveWriter> m_archive; // outlives the query that hands it pages
    std::unique_ptr<DomainQuery> m_query;
    std::unique_ptr<QTimer> m_batchTimer;
    std::unique_ptr<BatchScheduler> m_batch;
    QString m_catalogueFault;
};

} // namespace shoulu
