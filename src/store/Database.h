#pragma once

#include "store/Statement.h"
#include "util/Result.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <type_traits>

struct sqlite3;

namespace shoulu {

// One SQLCipher connection, closed with the object.
//   auto db = Database::open(path, Database::OpenMode::Existing); db->key(bytes); db->prepare("...");
class Database
{
public:
    enum class OpenMode {
        Existing, // read and write an existing file; never creates one
        CreateNew, // the file may be created (the caller makes sure it is new)
        ReadOnly, // read an existing file, never write it nor leave files beside it
    };

    static Result<std::unique_ptr<Database>> open(const QString& path, OpenMode mode);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Must come before the first statement that touches the file.
    Result<void> key(const QByteArray& passphrase);

    // Trusted, parameterless SQL only (schema, pragmas, transaction control): user text goes
    // through prepare() and bound parameters.
    Result<void> exec(const char* sql);
    Result<Statement> prepare(const char* sql);
    // The first column of the first row of trusted, parameterless SQL; 0 when there is no row.
    Result<qint64> singleInt(const char* sql);
    // Prepares sql, binds the values to ?1, ?2, ... and reads the first column of the first row
    // as T (std::int64_t, QString or QByteArray); nothing when there is no row.
    //   auto id = db.oneValue<std::int64_t>("SELECT id FROM body WHERE hash = ?1", hash);
    template <typename T, typename... Values>
    Result<std::optional<T>> oneValue(const char* sql, const Values&... values)
    {
        auto statement = prepare(sql);
        if (!statement) {
            return statement.failure();
        }
        if (auto bound = statement->bindAll(values...); !bound) {
            return bound.failure();
        }
        auto row = statement->step();
        if (!row) {
            return row.failure();
        }
        if (!*row) {
            return std::optional<T>();
        }
        if constexpr (std::is_same_v<T, QByteArray>) {
            return std::optional<T>(statement->bytesAt(0).toByteArray());
        } else if constexpr (std::is_same_v<T, QString>) {
            return std::optional<T>(statement->textAt(0));
        } else {
            static_assert(std::is_same_v<T, std::int64_t>);
            return std::optional<T>(statement->int64At(0));
        }
    }

    // How long a statement waits for another connection's lock before it fails; the wait ends
    // early once `giveUp` (read from any thread) is set.
    void setBusyTimeout(int milliseconds, const std::atomic<bool>* giveUp = nullptr);
    qint64 lastInsertId() const;
    // Rows the latest insert, update or delete touched.
    int changes() const;
    bool isReadOnly() const;
    // The connection's latest error, for messages.
    QString errorMessage() const;
    int errorCode() const;
    const QString& path() const { return m_path; }

    struct BusyWait
    {
        int timeoutMs = 0;
        const std::atomic<bool>* giveUp = nullptr;
        std::chrono::steady_clock::time_point since;
    };

private:
    Database(sqlite3* handle, QString path);

    sqlite3* m_handle;
    QString m_path;
    BusyWait m_busy;
};

} // namespace shoulu
