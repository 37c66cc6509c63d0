#include "support/QueryFixture.h"

#include "engines/EngineCatalogue.h"
#include "support/QtTestApp.h"

#include <QTest>

namespace shoulu::test {

void QueryFixture::SetUp()
{
    ensureQtApp();
    ASSERT_TRUE(m_temp.ok()) << m_temp.error().toStdString();
    auto db = m_temp.open();
    ASSERT_TRUE(db.ok()) << db.error().toStdString();
    m_db = std::move(db.value());
    m_domains = std::make_unique<DomainList>(m_db->database());
    m_rows = std::make_unique<ResultRows>(m_db->database());
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_batch) {
            m_batch->tick(m_delay);
        }
    });
    buildQuery(EngineCatalogue::builtIn());
}

void QueryFixture::TearDown()
{
    // The scheduler holds the query: it goes first.
    m_batch.reset();
    m_query.reset();
}

void QueryFixture::buildQuery(const EngineCatalogue& catalogue)
{
    m_batch.reset();
    m_query = std::make_unique<DomainQuery>(*m_domains, *m_rows, catalogue);
    prepareQuery(*m_query);
    m_batch = std::make_unique<BatchScheduler>(*m_query, m_timer);
    QObject::connect(m_query.get(), &DomainQuery::statusChanged, [this](const QString& s) { m_status = s; });
    QObject::connect(m_query.get(), &DomainQuery::gaugeChanged, [this](int maximum, int position) {
        m_gaugeMax = maximum;
        m_gaugePos = position;
    });
    QObject::connect(m_query.get(), &DomainQuery::errorOccurred, [this](const QString& e) { m_errors << e; });
    QObject::connect(m_query.get(), &DomainQuery::runFinished, [this] { ++m_finished; });
}

void QueryFixture::closeStore()
{
    m_batch.reset();
    m_query.reset();
    m_rows.reset();
    m_domains.reset();
    m_db.reset();
}

bool QueryFixture::waitForEnd(int timeoutMs)
{
    return QTest::qWaitFor([this] { return !m_query->isBusy(); }, timeoutMs);
}

std::vector<ResultRow> QueryFixture::rowsOf(const QString& domain)
{
    auto rows = m_rows->dailyRows(domain);
    EXPECT_TRUE(rows.ok()) << rows.error().toStdString();
    return rows.ok() ? rows.value() : std::vector<ResultRow> {};
}

} // namespace shoulu::test
