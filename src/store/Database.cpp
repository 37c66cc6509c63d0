#include "store/Database.h"

#include <QFile>
#include <QUrl>

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <thread>

namespace shoulu {

namespace {

int waitWhileBusy(void* context, int attempt)
{
    auto& wait = *static_cast<Database::BusyWait*>(context);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) {
        wait.since = now;
    }
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - wait.since).count();
    if (waited >= wait.timeoutMs || (wait.giveUp != nullptr && wait.giveUp->load())) {
        return 0;
    }
    // Short steps first: most locks are a commit of a few milliseconds.
    const int stepMs = std::min({ 1 << std::min(attempt, 6), 50, int(wait.timeoutMs - waited) });
    std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    return 1;
}

// A read-only connection to a file in WAL mode needs the log's index, which SQLite of this
// version can only make by writing beside the file. With no log beside it (the last writer
// checkpointed and removed it) the file alone is whole: read it as unchanging, touching
// nothing. A log left beside it must be read through, which needs its index file.
QByteArray readOnlyName(const QString& path)
{
    if (QFile::exists(path + QStringLiteral("-wal"))) {
        return path.toUtf8();
    }
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded).toUtf8() + "?immutable=1";
}

// SQLite goes on writing into the file it opened after another file took its path or the path
// was deleted; rows committed so would be lost to every later run, so writes are refused.
Result<void> checkStillAtPath(sqlite3* handle, const QString& path)
{
    int moved = 0;
    if (sqlite3_file_control(handle, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved != 0) {
        return Error {
            QStringLiteral("%1 was moved, replaced or deleted while open: nothing more is stored in it").arg(path),
            SQLITE_READONLY_DBMOVED
        };
    }
    return {};
}

} // namespace

Result<std::unique_ptr<Database>> Database::open(const QString& path, OpenMode mode)
{
    int flags = SQLITE_OPEN_READWRITE;
    QByteArray name = path.toUtf8();
    if (mode == OpenMode::CreateNew) {
        flags |= SQLITE_OPEN_CREATE;
    } else if (mode == OpenMode::ReadOnly) {
        flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
        name = readOnlyName(path);
    }
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        QString message
            = handle != nullptr ? QString::fromUtf8(sqlite3_errmsg(handle)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(handle);
        return Error { QStringLiteral("cannot open %1: %2").arg(path, message), rc };
    }
    sqlite3_extended_result_codes(handle, 1);
    return std::unique_ptr<Database>(new Database(handle, path));
}

Database::Database(sqlite3* handle, QString path)
    : m_handle(handle)
    , m_path(std::move(path))
{ }

Database::~Database()
{
    // Every Statement must be gone by now; sqlite3_close_v2 would otherwise leave a zombie.
    sqlite3_close_v2(m_handle);
}

Result<void> Database::key(const QByteArray& passphrase)
{
    if (sqlite3_key(m_handle, passphrase.constData(), static_cast<int>(passphrase.size())) != SQLITE_OK) {
        return Error { QStringLiteral("cannot set the key of %1: %2").arg(m_path, errorMessage()), errorCode() };
    }
    return {};
}

Result<void> Database::exec(const char* sql)
{
    // Outside a transaction only: a ROLLBACK must always get through.
    if (sqlite3_get_autocommit(m_handle) != 0) {
        if (auto inPlace = checkStillAtPath(m_handle, m_path); !inPlace) {
            return inPlace;
        }
    }
    char* message = nullptr;
    if (sqlite3_exec(m_handle, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message != nullptr ? message : sqlite3_errmsg(m_handle));
        sqlite3_free(message);
        return Error { QStringLiteral("%1: %2").arg(m_path, text), errorCode() };
    }
    return {};
}

Result<Statement> Database::prepare(const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_handle, sql, -1, &statement, nullptr) != SQLITE_OK) {
        return Error { QStringLiteral("%1: %2").arg(m_path, errorMessage()), errorCode() };
    }
    if (sqlite3_stmt_readonly(statement) == 0) {
        if (auto inPlace = checkStillAtPath(m_handle, m_path); !inPlace) {
            sqlite3_finalize(statement);
            return inPlace.failure();
        }
    }
    return Statement(statement);
}

Result<qint64> Database::singleInt(const char* sql)
{
    auto value = oneValue<std::int64_t>(sql);
    if (!value) {
        return value.failure();
    }
    return value->value_or(0);
}

void Database::setBusyTimeout(int milliseconds, const std::atomic<bool>* giveUp)
{
    m_busy.timeoutMs = milliseconds;
    m_busy.giveUp = giveUp;
    sqlite3_busy_handler(m_handle, &waitWhileBusy, &m_busy);
}

qint64 Database::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_handle);
}

int Database::changes() const
{
    return sqlite3_changes(m_handle);
}

bool Database::isReadOnly() const
{
    return sqlite3_db_readonly(m_handle, "main") == 1;
}

QString Database::errorMessage() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_handle));
}

int Database::errorCode() const
{
    return sqlite3_extended_errcode(m_handle);
}

} // namespace shoulu
