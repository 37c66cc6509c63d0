#include "store/SettingsDatabase.h"

#include "store/Database.h"
#include "store/Schema.h"
#include "util/StateFile.h"

#include <QFile>
#include <QFileInfo>

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <atomic>

namespace shoulu {

namespace {

// The fixed passphrase of every installation, as UTF-8 bytes, so that the sqlcipher shell's
// PRAGMA key='...' with the same text opens the file too.
const char Passphrase[] = "\xe8\x93\x9d\xe6\x9d\x89\xe6\x9c\xa8\xe8\x88\x9f\xe5\x8c\x97" // 蓝杉木舟北
                          "\xe5\xb2\xb8\xe6\x99\x9a\xe9\x92\x9f\xe5\xa3\xb0\xe8\xbf\x9c"; // 岸晚钟声远

// A committed row must survive the process being killed or the machine losing power: WAL with
// synchronous=FULL syncs the log at every commit, one sync instead of the rollback journal's
// three or four, which keeps a committed insert within a few milliseconds. The -wal and -shm
// files exist only while the file is open; the last connection to close checkpoints the log
// into setting.dat and removes them, so the file users copy is whole. After a crash the log
// stays beside the file until the next open replays it.
// Every page read is decrypted: a few MB of cache keep the index pages and the newest rows of
// the views decrypted between refreshes.
const char* const ConnectionSettings = "PRAGMA journal_mode = WAL;"
                                       "PRAGMA synchronous = FULL;"
                                       "PRAGMA cache_size = -8192;";
const char* const ReadOnlySettings = "PRAGMA cache_size = -8192;";

QByteArray passphrase()
{
    return QByteArray::fromRawData(Passphrase, sizeof(Passphrase) - 1);
}

const QString SetAside = QStringLiteral("; set it aside and make a new one with 'shoulu-cli init'");

Error unreadable(const QString& path, SettingsDatabase::Problem& problem)
{
    QFile file(path);
    QByteArray head;
    if (file.open(QIODevice::ReadOnly)) {
        head = file.read(512);
    }
    problem = SettingsDatabase::Problem::Foreign;
    if (head.startsWith(QByteArray("SQLite format 3\0", 16))) {
        return Error { QStringLiteral("%1 is an unencrypted SQLite database, not a shoulu database").arg(path)
            + SetAside };
    }
    // Text has no NUL and no other control bytes but line ends and tabs; the encrypted file's
    // bytes look random from the first one on.
    const bool text = std::all_of(head.cbegin(), head.cend(),
        [](char c) { return static_cast<unsigned char>(c) >= 0x20 || c == '\n' || c == '\r' || c == '\t'; });
    if (text) {
        return Error { QStringLiteral("%1 is a text file, not a shoulu database").arg(path) + SetAside };
    }
    problem = SettingsDatabase::Problem::Damaged;
    return Error {
        QStringLiteral("%1 is damaged at its start, or encrypted with another key: it cannot be read").arg(path)
        + SetAside
    };
}

std::atomic<int> lockWaitMs { SettingsDatabase::BusyTimeoutMs };

Result<std::unique_ptr<Database>> connect(const QString& path, Database::OpenMode mode)
{
    auto db = Database::open(path, mode);
    if (!db) {
        return db;
    }
    (*db)->setBusyTimeout(lockWaitMs.load());
    if (auto keyed = (*db)->key(passphrase()); !keyed) {
        return keyed.failure();
    }
    return db;
}

qint64 pageSize(Database& db)
{
    auto size = db.oneValue<std::int64_t>("PRAGMA page_size");
    return size ? size->value_or(0) : 0;
}

} // namespace

void SettingsDatabase::setLockWait(int milliseconds)
{
    lockWaitMs = std::max(milliseconds, BusyTimeoutMs);
}

Result<std::unique_ptr<SettingsDatabase>> SettingsDatabase::open(const QString& path, Access access)
{
    Problem problem = Problem::Other;
    return open(path, access, problem);
}

SettingsDatabase::Problem SettingsDatabase::examine(const QString& path)
{
    Problem problem = Problem::Other;
    return open(path, Access::Read, problem) ? Problem::None : problem;
}

Result<std::unique_ptr<SettingsDatabase>> SettingsDatabase::open(const QString& path, Access access, Problem& problem)
{
    problem = Problem::Other;
    if (Result<void> fits = checkStateFile(path); !fits) {
        return fits.failure();
    }
    const QFileInfo info(path);
    problem = Problem::Missing;
    if (!info.exists()) {
        return Error { QStringLiteral("%1 does not exist").arg(path) };
    }
    problem = Problem::Other;
    if (!info.isFile()) {
        return Error { QStringLiteral("%1 is not a file").arg(path) };
    }
    // SQLite takes a 0-byte file for a new, empty database; here it is a damaged one.
    problem = Problem::Damaged;
    if (info.size() == 0) {
        return Error { QStringLiteral("%1 is empty (0 bytes), not a prepared shoulu database").arg(path) + SetAside };
    }
    problem = Problem::Other;
    const Result<bool> readOnly = opensReadOnly(path, access, writabilityOf(path));
    if (!readOnly) {
        return readOnly.failure();
    }
    auto db = connect(path, *readOnly ? Database::OpenMode::ReadOnly : Database::OpenMode::Existing);
    if (!db) {
        return db.failure();
    }
    Database& connection = **db;
    // SQLite opens a write-protected file read-only without a word; every result would be lost.
    // Checked before the first read, which would leave a read-only WAL's side files behind.
    if (connection.isReadOnly() && !*readOnly) {
        return Error { QStringLiteral("%1 is read-only: no result could be stored in it").arg(path) };
    }
    // The key is only tried on the first read: check it now, not at the first query.
    if (auto read = connection.exec("SELECT count(*) FROM sqlite_master"); !read) {
        if ((connection.errorCode() & 0xff) == SQLITE_NOTADB) {
            return unreadable(path, problem);
        }
        if ((connection.errorCode() & 0xff) == SQLITE_CORRUPT) {
            problem = Problem::Damaged;
            return Error { QStringLiteral("%1 is damaged (%2)").arg(path, connection.errorMessage()) + SetAside };
        }
        return read.failure();
    }
    // A file cut short inside a page would open and fail only when that page is read.
    if (const qint64 size = pageSize(connection); size > 0 && info.size() % size != 0) {
        problem = Problem::Damaged;
        return Error { QStringLiteral("%1 is damaged: it ends inside a page, cut short").arg(path) + SetAside };
    }
    // Readable with the key but without a table of ours: another program's file keyed alike.
    for (const char* table : { "domain", "shoulu" }) {
        const QByteArray sql = QByteArray("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '")
            + table + "' COLLATE NOCASE";
        if (auto found = connection.singleInt(sql.constData()); found && *found == 0) {
            problem = Problem::Foreign;
            return Error {
                QStringLiteral("%1 is not a shoulu database: it has no table '%2'").arg(path, QLatin1String(table))
                + SetAside
            };
        }
    }
    if (auto checked = Schema::check(connection); !checked) {
        return checked.failure();
    }
    if (auto set = connection.exec(*readOnly ? ReadOnlySettings : ConnectionSettings); !set) {
        return set.failure();
    }
    return std::unique_ptr<SettingsDatabase>(new SettingsDatabase(std::move(*db), *readOnly));
}

Result<void> SettingsDatabase::create(const QString& path)
{
    if (QFileInfo::exists(path)) {
        return Error { QStringLiteral("%1 already exists; not overwriting it").arg(path) };
    }
    if (auto folder = checkFolderWritable(path, QStringLiteral("cannot create %1 there").arg(path)); !folder) {
        return folder;
    }
    QFile file(path);
    // NewOnly: another process that creates the same path in the meantime wins, we fail.
    // Owner only, from the first moment: the key is the same in every installation, so the
    // mode is all that keeps others out. SQLite gives its -wal and -shm files the same mode.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        return Error { QStringLiteral("cannot create %1: %2").arg(path, file.errorString()) };
    }
    file.close();
    Result<void> made = [&path]() -> Result<void> {
        auto db = connect(path, Database::OpenMode::Existing);
        if (!db) {
            return db.failure();
        }
        return Schema::create(**db);
    }();
    if (!made) {
        QFile::remove(path);
        return made.failure().reworded(QStringLiteral("cannot create %1: %2").arg(path, made.error()));
    }
    return {};
}

SettingsDatabase::SettingsDatabase(std::unique_ptr<Database> db, bool readOnly)
    : m_db(std::move(db))
    , m_readOnly(readOnly)
{ }

SettingsDatabase::~SettingsDatabase() = default;

Database& SettingsDatabase::database()
{
    return *m_db;
}

} // namespace shoulu
