#pragma once

#include "util/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <string_view>
#include <type_traits>

struct sqlite3_stmt;

namespace shoulu {

// A prepared statement, finalized with the object; made by Database::prepare.
//   auto st = db.prepare("select id from domain where domain = ?1"); st->bind(1, text); while (*st->step()) ...
// The trap: bind indices are 1-based (as "?1" in the SQL), column indices 0-based.
class Statement
{
public:
    explicit Statement(sqlite3_stmt* handle);
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // index is 1-based.
    Result<void> bind(int index, std::int64_t value);
    Result<void> bind(int index, const QString& text);
    // As a blob, byte for byte; a null array binds NULL.
    Result<void> bind(int index, const QByteArray& bytes);

    // Binds the values to ?1, ?2, ... in order.
    template <typename... Values> Result<void> bindAll(const Values&... values)
    {
        int index = 0;
        Result<void> result;
        ((result.ok() ? (void)(result = bind(++index, values)) : void()), ...);
        return result;
    }

    // true: a row is ready to read; false: the statement is done.
    Result<bool> step();
    // Runs a statement that yields no rows to its end.
    Result<void> run();
    // Steps to the end, calling each() on every row; each may return Result<void> to stop early.
    template <typename Each> Result<void> forEachRow(Each each)
    {
        for (;;) {
            Result<bool> more = step();
            if (!more) {
                return more.failure();
            }
            if (!*more) {
                return {};
            }
            if constexpr (std::is_same_v<decltype(each()), Result<void>>) {
                if (auto done = each(); !done) {
                    return done;
                }
            } else {
                each();
            }
        }
    }
    // Ready to step again; bindings are kept.
    void reset();

    // column is 0-based.
    std::int64_t int64At(int column) const;
    QString textAt(int column) const;
    // The column's UTF-8 text without a copy; valid until the next step() or reset().
    std::string_view utf8At(int column) const;
    // The column's bytes without a copy; valid until the next step() or reset().
    QByteArrayView bytesAt(int column) const;

private:
    Error error(const char* what) const;

    sqlite3_stmt* m_handle = nullptr;
};

} // namespace shoulu
