#pragma once

#include <QString>

// The outcome of an operation that may fail: either success, or a failure with
// one plain Italian sentence the caller can show or deliberately skip.
class [[nodiscard]] Result {
public:
    static Result success() { return Result(); }
    static Result failure(const QString& message) { return Result(message); }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const QString& message() const { return m_message; }

private:
    Result() = default;
    explicit Result(const QString& message) : m_failed(true), m_message(message) {}

    bool m_failed = false;
    QString m_message;
};
