#pragma once

#include <QString>

// The outcome of an operation that may fail: either success, or a failure with
// one plain Italian sentence the caller can show or deliberately skip.
class [[nodiscard]] Result {
public:
    static Result success() { return Result(); }
    static Result failure(const QString& message) { return Result(message); }
    // The user stopped the work, and nothing was changed: not a failure to report as one.
    static Result userCancelled(const QString& message = {}) {
        Result result(message);
        result.m_cancelled = true;
        return result;
    }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    bool cancelled() const { return m_cancelled; }
    const QString& message() const { return m_message; }

private:
    Result() = default;
    explicit Result(const QString& message) : m_failed(true), m_message(message) {}

    bool m_failed = false;
    bool m_cancelled = false;
    QString m_message;
};
