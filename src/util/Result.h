#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

namespace shoulu {

// Error carried as a value by synchronous calls: a message fit to show a user.
struct Error
{
    QString message;
    int code = 0; // the SQLite result code behind a store error; 0 for any other

    // Context added to a failure must not lose the code callers sort failures by.
    Error reworded(QString newMessage) const { return Error { std::move(newMessage), code }; }
};

// Either a value or an Error. C++20 has no std::expected; this is the small subset we use.
template <typename T> class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_data(std::in_place_index<0>, std::move(value))
    { }
    Result(Error error)
        : m_data(std::in_place_index<1>, std::move(error))
    { }

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(m_data); }
    const T& value() const& { return std::get<0>(m_data); }
    T&& value() && { return std::get<0>(std::move(m_data)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const QString& error() const { return std::get<1>(m_data).message; }
    const Error& failure() const { return std::get<1>(m_data); }

private:
    std::variant<T, Error> m_data;
};

template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Error error)
        : m_error(std::move(error))
    { }

    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const QString& error() const { return m_error->message; }
    const Error& failure() const { return *m_error; }

private:
    std::optional<Error> m_error;
};

} // namespace shoulu
