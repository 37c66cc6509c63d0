#pragma once

#include "util/Result.h"

namespace shoulu {

class Database;

// Rolls back unless commit() succeeded.
//   Transaction tx(db); if (auto r = tx.begin(); !r) return r; ...; return tx.commit();
class Transaction
{
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Takes the write lock at once, so a writer never fails half-way on a lock upgrade.
    Result<void> begin();
    Result<void> commit();

private:
    Database& m_db;
    bool m_active = false;
};

// Runs work() (returning Result<void>) in a transaction, committed only when it succeeds.
template <typename Work> Result<void> inTransaction(Database& db, Work work)
{
    Transaction transaction(db);
    if (auto result = transaction.begin(); !result) {
        return result;
    }
    if (auto result = work(); !result) {
        return result;
    }
    return transaction.commit();
}

} // namespace shoulu
