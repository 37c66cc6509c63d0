#include "query/AppContext.h"

#include "archive/ArchiveWriter.h"
#include "archive/PageArchive.h"
#include "engines/EngineCatalogue.h"
#include "query/BatchScheduler.h"
#include "query/DomainQuery.h"
#include "store/DomainList.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"

#include <QTimer>

namespace shoulu {

Result<std::unique_ptr<AppContext>> AppContext::open(const QString& databasePath, const QString& catalogueFile,
    CatalogueFault onFault, Access access, CatalogueFile kind, const PageArchiving& pages)
{
    auto opened = SettingsDatabase::open(databasePath, access);
    if (!opened) {
        return opened.failure().reworded(QStringLiteral("cannot open %1: %2").arg(databasePath, opened.error()));
    }
    Result<EngineCatalogue> catalogue = EngineCatalogue::load(catalogueFile, kind);
    if (!catalogue && onFault == CatalogueFault::Fail) {
        return catalogue.failure();
    }
    std::unique_ptr<AppContext> context(new AppContext);
    context->m_databasePath = databasePath;
    context->m_settings = std::move(opened.value());
    context->m_domains = std::make_unique<DomainList>(context->m_settings->database());
    context->m_rows = std::make_unique<ResultRows>(context->m_settings->database());
    if (!catalogue) {
        context->m_catalogueFault = catalogue.error();
    }
    context->m_query = std::make_unique<DomainQuery>(
        *context->m_domains, *context->m_rows, catalogue ? std::move(catalogue.value()) : EngineCatalogue::builtIn());
    context->m_archive = std::make_unique<ArchiveWriter>(
        pages.file.isEmpty() ? PageArchive::fileBeside(databasePath) : pages.file, nullptr, pages.language);
    context->m_query->setPageSink(context->m_archive.get());
    context->m_batchTimer = std::make_unique<QTimer>();
    context->m_batchTimer->setObjectName(QStringLiteral("Timer1"));
    context->m_batch = std::make_unique<BatchScheduler>(*context->m_query, *context->m_batchTimer);
    return context;
}

Database& AppContext::database()
{
    return m_settings->database();
}

AppContext::~AppContext()
{
    // Fetches still in flight belong to the query and go with it, before the store.
    m_batch.reset();
    m_query.reset();
    m_archive.reset(); // the pages handed in are archived before the store goes
}

} // namespace shoulu
