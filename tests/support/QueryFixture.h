#pragma once

#include "query/BatchScheduler.h"
#include "query/DomainQuery.h"
#include "store/DomainList.h"
#include "store/ResultRow.h"
#include "store/ResultRows.h"
#include "store/SettingsDatabase.h"
#include "support/TempDatabase.h"

#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace shoulu {
class EngineCatalogue;
}

namespace shoulu::test {

// A store over a fresh setting.dat, with a query and a batch scheduler over it, keeping what the
// query reports. Fixtures that need their engines reached some way set it up in prepareQuery.
class QueryFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Called for every query built, before it is used.
    virtual void prepareQuery(DomainQuery&) { }
    // Replaces the query, and the scheduler driving it, with one over `catalogue`.
    void buildQuery(const EngineCatalogue& catalogue);
    // Lets go of the store, so that the file can be opened on its own.
    void closeStore();

    bool waitForEnd(int timeoutMs = 20000);
    std::vector<ResultRow> rowsOf(const QString& domain);

    TempDatabase m_temp;
    std::unique_ptr<SettingsDatabase> m_db;
    std::unique_ptr<DomainList> m_domains;
    std::unique_ptr<ResultRows> m_rows;
    std::unique_ptr<DomainQuery> m_query;
    QTimer m_timer;
    std::unique_ptr<BatchScheduler> m_batch;
    int m_delay = 1;

    QString m_status;
    int m_gaugeMax = -1;
    int m_gaugePos = -1;
    QStringList m_errors;
    int m_finished = 0;
};

} // namespace shoulu::test
