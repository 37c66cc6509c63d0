#pragma once

#include "store/FileAccess.h"
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
    // How long a statement waits for another connection's lock before it fails.
    static constexpr int BusyTimeoutMs = 5000;
    // How long the connections opened from now on wait instead (at least BusyTimeoutMs).
    static void setLockWait(int milliseconds);

    // Fails (never creates or changes the file) when the file is missing, empty, foreign,
    // keyed with another password, or lacks either table; and, for Access::Write, when it
    // may not be written.
    static Result<std::unique_ptr<SettingsDatabase>> open(const QString& path, Access access = Access::Write);
    // What keeps a file from opening, by the same cheap checks as open (header, key, layout).
    enum class Problem {
        None, // it opens
        Missing,
        Damaged, // to be set aside; init makes a new one
        Foreign, // not a shoulu database (a text file, another program's database)
        Other, // locked, not readable by this user, ...
    };
    static Problem examine(const QString& path);
    // Creates a prepared file (tables, indexes, schema version), readable and writable by its
    // owner only; refuses an existing path.
    static Result<void> create(const QString& path);

    ~SettingsDatabase();
    Database& database();
    bool isReadOnly() const { return m_readOnly; }

private:
    static Result<std::unique_ptr<SettingsDatabase>> open(const QString& path, Access access, Problem& problem);
    SettingsDatabase(std::unique_ptr<Database> db, bool readOnly);
    std::unique_ptr<Database> m_db;
    bool m_readOnly;
};

} // namespace shoulu
