#pragma once

#include "data/vocabulary/Engine.h"
#include "platform/Result.h"

#include <QList>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

class Database;

// The keys of the rows whose field matches a LIKE pattern, a page at a time, in key
// order: exactly the rows a plain scan with the office's LIKE finds, found without one
// where it can, each engine its own way (SqliteKeySearch, PostgresKeySearch).
// A search runs for a given budget of processor time (on PostgreSQL: of waiting for the
// server) and can go on later from where it stopped, so a long one never holds the
// window. A search given up before its end is cancelled on the server.
class KeySearch {
public:
    using Direction = KeyScan::Direction;
    using Method = KeyScan::Method;

    // Keys after `from` going forward, or before it going backward; at most `limit`.
    KeySearch(Database& database, const QString& table, const QString& field, const QString& pattern,
              Direction direction, std::optional<qint64> from, int limit);
    ~KeySearch();
    KeySearch(const KeySearch&) = delete;
    KeySearch& operator=(const KeySearch&) = delete;

    // Goes on for about `budget` of this thread's processor time; a negative budget runs
    // to the end. A failure of the database ends the search.
    Result run(std::chrono::nanoseconds budget) { return m_scan->run(budget); }
    bool isDone() const { return m_scan->isDone(); }
    // The keys found, in key order.
    QList<qint64> keys() const { return m_scan->keys(); }
    // The ways the ranges are searched, in the order they are.
    QList<Method> methods() const { return m_scan->methods(); }

private:
    std::unique_ptr<KeyScan> m_scan;
};
