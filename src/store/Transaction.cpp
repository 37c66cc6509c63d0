#include "store/Transaction.h"

#include "store/Database.h"

namespace shoulu {

Transaction::Transaction(Database& db)
    : m_db(db)
{ }

Transaction::~Transaction()
{
    if (m_active) {
        // Nothing to report to: a failed rollback leaves SQLite to roll back on the next open.
        (void)m_db.exec("ROLLBACK");
    }
}

Result<void> Transaction::begin()
{
    if (auto result = m_db.exec("BEGIN IMMEDIATE"); !result) {
        return result;
    }
    m_active = true;
    return {};
}

Result<void> Transaction::commit()
{
    if (auto result = m_db.exec("COMMIT"); !result) {
        return result;
    }
    m_active = false;
    return {};
}

} // namespace shoulu
