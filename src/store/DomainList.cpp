#include "store/DomainList.h"

#include "store/Database.h"
#include "store/Transaction.h"

namespace shoulu {

namespace {

// One statement, so the test and the insert cannot be split by another writer. The test
// compares the trimmed text: a domain typed with a stray blank is not listed twice.
const char* const InsertUnlessListed
    = "INSERT INTO domain(domain) SELECT ?1 WHERE NOT EXISTS (SELECT 1 FROM domain WHERE domain = ?1)";

Result<void> insertUnlessListed(Statement& statement, const QString& text)
{
    const QString trimmed = trimControlAndBlank(text);
    if (trimmed.isEmpty()) {
        return {};
    }
    statement.reset();
    if (auto bound = statement.bind(1, trimmed); !bound) {
        return bound;
    }
    return statement.run();
}

} // namespace

QString trimControlAndBlank(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32) {
        ++begin;
    }
    while (end > begin && text.at(end - 1).unicode() <= 32) {
        --end;
    }
    return text.mid(begin, end - begin);
}

DomainList::DomainList(Database& db)
    : m_db(db)
{ }

Result<void> DomainList::addDomain(const QString& text)
{
    auto statement = m_db.prepare(InsertUnlessListed);
    if (!statement) {
        return statement.failure();
    }
    return insertUnlessListed(*statement, text);
}

Result<void> DomainList::removeDomain(const QString& text)
{
    auto statement = m_db.prepare("DELETE FROM domain WHERE domain = ?1");
    if (!statement) {
        return statement.failure();
    }
    if (auto bound = statement->bind(1, trimControlAndBlank(text)); !bound) {
        return bound;
    }
    return statement->run();
}

Result<void> DomainList::DeleteDomain()
{
    return m_db.exec("DELETE FROM domain");
}

Result<QStringList> DomainList::loadDomain()
{
    auto statement = m_db.prepare("SELECT domain FROM domain ORDER BY id");
    if (!statement) {
        return statement.failure();
    }
    QStringList domains;
    for (;;) {
        auto row = statement->step();
        if (!row) {
            return row.failure();
        }
        if (!*row) {
            return domains;
        }
        domains.append(statement->textAt(0));
    }
}

Result<void> DomainList::replaceAll(const QStringList& lines)
{
    return inTransaction(m_db, [this, &lines]() -> Result<void> {
        if (auto emptied = DeleteDomain(); !emptied) {
            return emptied;
        }
        auto statement = m_db.prepare(InsertUnlessListed);
        if (!statement) {
            return statement.failure();
        }
        for (const QString& line : lines) {
            if (auto stored = insertUnlessListed(*statement, line); !stored) {
                return stored;
            }
        }
        return {};
    });
}

} // namespace shoulu
