#pragma once

#include <QString>

#include <optional>
#include <utility>

// A value or a user-facing error message. GCC 12 in C++20 mode has no std::expected.
template <typename T> class [[nodiscard]] Result
{
public:
    // Needed by QFuture; an empty failure.
    Result() = default;

    static Result success(T value) { return Result(std::move(value), {}); }
    static Result failure(QString message) { return Result(std::nullopt, std::move(message)); }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return *m_value; }
    T &value() & { return *m_value; }
    T &&value() && { return std::move(*m_value); }
    const QString &error() const { return m_error; }

private:
    Result(std::optional<T> value, QString error) : m_value(std::move(value)), m_error(std::move(error)) {}

    std::optional<T> m_value;
    QString m_error;
};

struct Done
{
};
using Status = Result<Done>;
