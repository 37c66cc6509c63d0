#pragma once

#include "util/Result.h"

#include <QString>
#include <QStringList>

namespace shoulu {

class Database;

// Table domain: the user's list of domains, in insertion order.
class DomainList
{
public:
    explicit DomainList(Database& db);

    // Stores the text, trimmed of characters 0-32, unless a stored domain equals the trimmed
    // text (letter case ignored) or the trimmed text is empty.
    Result<void> addDomain(const QString& text);
    Result<void> DeleteDomain();
    // Removes the stored domain equal to the trimmed text (letter case ignored), if any.
    Result<void> removeDomain(const QString& text);
    // The stored domains in ascending id order.
    Result<QStringList> loadDomain();
    // The editor's save, in one transaction: on failure the previous list stays.
    // Lines trimmed, blank ones skipped, later repeats (any letter case) passed over.
    Result<void> replaceAll(const QStringList& lines);

private:
    Database& m_db;
};

// Leading and trailing characters of code 0 to 32 removed.
QString trimControlAndBlank(const QString& text);

} // namespace shoulu
