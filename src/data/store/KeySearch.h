#pragma once

#include "data/sqlite/search/BlockMap.h"
#include "data/sqlite/search/TextColumn.h"
#include "data/vocabulary/LikePattern.h"
#include "platform/Result.h"

#include <QList>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class Database;
struct sqlite3_stmt;

// The keys of the rows whose field matches a LIKE pattern, a page at a time, in key
// order: exactly the rows a plain scan with the office's LIKE finds, found without one
// where it can. Ranges of keys are searched in turn, each the fastest way open to it:
//   the trigram index, for the rows it covers, when the pattern holds three plain
//   characters (its candidates are confirmed by the LIKE);
//   the field's text held in memory, when it is ready;
//   for a field too large to hold, the map of its blocks of rows: only the rows of the
//   blocks that may hold a match are read, and the LIKE confirms them;
//   the table itself, row by row.
// On PostgreSQL the server does all of it in one statement, with the trigram index of
// the field where it has one (PostgresSchema), sent on the search connection
// (PostgresSearch) without waiting for the answer.
// A search runs for a given budget of processor time (on PostgreSQL: of waiting for the
// server) and can go on later from where it stopped, so a long one never holds the
// window. A search given up before its end is cancelled on the server.
class KeySearch {
public:
    enum class Direction { Forward, Backward };
    enum class Method { Index, Memory, Blocks, Table };

    // Keys after `from` going forward, or before it going backward; at most `limit`.
    KeySearch(Database& database, const QString& table, const QString& field, const QString& pattern,
              Direction direction, std::optional<qint64> from, int limit);
    ~KeySearch();
    KeySearch(const KeySearch&) = delete;
    KeySearch& operator=(const KeySearch&) = delete;

    // Goes on for about `budget` of this thread's processor time; a negative budget runs
    // to the end. A failure of the database ends the search.
    Result run(std::chrono::nanoseconds budget);
    bool isDone() const { return m_done; }
    // The keys found, in key order.
    QList<qint64> keys() const;
    // The ways the ranges are searched, in the order they are.
    QList<Method> methods() const;

private:
    struct Segment {
        Method method;
        qint64 low;  // inclusive
        qint64 high; // inclusive
    };

    Result runSql(Segment& segment, const std::function<bool()>& outOfTime, bool& stopped);
    void runMemory(Segment& segment, const std::function<bool()>& outOfTime, bool& stopped);
    Result runBlocks(Segment& segment, const std::function<bool()>& outOfTime, bool& stopped);
    // The map, while it still covers the segment; otherwise the segment falls back to the table.
    BlockMap* blocksFor(const Segment& segment) const;
    Result runPostgres(std::chrono::nanoseconds budget);
    // The statement of a search on PostgreSQL, with the values of its "?".
    QString postgresStatement(QVariantList& values) const;
    bool filled() const { return m_found.size() >= m_limit; }

    Database& m_database;
    QString m_table;
    QString m_field;
    QString m_pattern;
    LikePattern m_like;
    TextColumn::Needle m_needle;
    BlockMap::Filter m_filter;
    QString m_match;
    Direction m_direction;
    int m_limit;
    std::vector<Segment> m_segments; // in the order they are searched
    std::size_t m_segment = 0;
    qint64 m_width = 0;    // of the key range a statement covers; 0: all that is left
    QList<qint64> m_found; // in search order
    bool m_done = false;
    bool m_postgres = false;
    std::optional<qint64> m_from;
    bool m_sent = false;  // PostgreSQL: sent on the search connection
    quint64 m_ticket = 0; // of the statement sent; 0 when it waits for no answer
};
