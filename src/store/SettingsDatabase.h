#pragma once

#include "util/Result.h"

#include <QString>

#include <memory>

namespace shoulu {

class Database; // RAII connection, store/Database.h

// The database file: opened once with the fixed key, never created by opening.
class SettingsDatabase
{
public:
    static constexpr const char* DefaultFileName = "setting.dat";

    // Fails (never creates or changes the file) when the file is missing, empty, foreign,
    // keyed with another password, or lacks either table.
    static Result<std::unique_ptr<SettingsDatabase>> open(const QString& path);
    // Creates a prepared file (tables, indexes, schema version), readable and writable by its
    // owner only; refuses an existing path.
    static Result<void> create(const QString& path);

    ~SettingsDatabase();
    Database& database();

private:
    explicit SettingsDatabase(std::unique_ptr<Database> db);
    std::unique_ptr<Database> m_db;
};

} // namespace shoulu
