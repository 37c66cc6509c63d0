#include "store/Statement.h"

#include <sqlcipher/sqlite3.h>

#include <utility>

namespace shoulu {

Statement::Statement(sqlite3_stmt* handle)
    : m_handle(handle)
{ }

Statement::Statement(Statement&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr))
{ }

Statement& Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_handle);
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

Statement::~Statement()
{
    sqlite3_finalize(m_handle);
}

Error Statement::error(const char* what) const
{
    sqlite3* db = sqlite3_db_handle(m_handle);
    const int code = sqlite3_extended_errcode(db);
    QString message = QStringLiteral("%1 failed: %2").arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(db)));
    // Damage the checks at opening could not see (they read the header and the table list only).
    if ((code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB) {
        const char* file = sqlite3_db_filename(db, "main");
        const QString path = QString::fromUtf8(file != nullptr ? file : "");
        message += QStringLiteral("; %1 is damaged: set it aside").arg(path);
        if (!path.endsWith(QLatin1String("pages.dat"))) {
            message += QStringLiteral(" and make a new one with 'shoulu-cli init'");
        }
    }
    return Error { message, code };
}

Result<void> Statement::bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(m_handle, index, value) != SQLITE_OK) {
        return error("binding a parameter");
    }
    return {};
}

Result<void> Statement::bind(int index, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    if (sqlite3_bind_text(m_handle, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT)
        != SQLITE_OK) {
        return error("binding a parameter");
    }
    return {};
}

Result<void> Statement::bind(int index, const QByteArray& bytes)
{
    const int rc = bytes.isNull() ? sqlite3_bind_null(m_handle, index)
                                  : sqlite3_bind_blob64(m_handle, index, bytes.constData(),
                                      static_cast<sqlite3_uint64>(bytes.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) {
        return error("binding a parameter");
    }
    return {};
}

Result<bool> Statement::step()
{
    const int rc = sqlite3_step(m_handle);
    if (rc == SQLITE_ROW) {
        return true;
    }
    if (rc == SQLITE_DONE) {
        return false;
    }
    // The statement stays usable after reset(); the error text is read before that.
    Error failure = error("statement");
    sqlite3_reset(m_handle);
    return failure;
}

Result<void> Statement::run()
{
    return forEachRow([] {});
}

void Statement::reset()
{
    sqlite3_reset(m_handle);
}

std::int64_t Statement::int64At(int column) const
{
    return sqlite3_column_int64(m_handle, column);
}

QString Statement::textAt(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_handle, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(m_handle, column));
}

std::string_view Statement::utf8At(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_handle, column));
    return text == nullptr ? std::string_view()
                           : std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(m_handle, column)));
}

QByteArrayView Statement::bytesAt(int column) const
{
    // The pointer first: asking for the size first could convert the value and move it.
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_handle, column));
    return QByteArrayView(bytes, sqlite3_column_bytes(m_handle, column));
}

} // namespace shoulu
