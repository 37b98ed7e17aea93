#pragma once

#include "data/sqlite/search/BlockMap.h"
#include "data/sqlite/search/TextColumn.h"
#include "data/vocabulary/Engine.h"
#include "data/vocabulary/LikePattern.h"

#include <QList>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

class ColumnCache;
class SearchIndex;
struct sqlite3;

// The key search on a SQLite file: exactly the rows a plain scan with the office's LIKE
// finds, found without one where it can. Ranges of keys are searched in turn, each the
// fastest way open to it:
//   the trigram index, for the rows it covers, when the pattern holds three plain
//   characters (its candidates are confirmed by the LIKE);
//   the field's text held in memory, when it is ready;
//   for a field too large to hold, the map of its blocks of rows: only the rows of the
//   blocks that may hold a match are read, and the LIKE confirms them;
//   the table itself, row by row.
// A search runs for a given budget of processor time and goes on later from where it stopped.
class SqliteKeySearch : public KeyScan {
public:
    // Keys after `from` going forward, or before it going backward; at most `limit`. The
    // index and the columns may be null (a file that could not take them).
    SqliteKeySearch(sqlite3* db, SearchIndex* index, ColumnCache* columns, const QString& table, const QString& field,
                    const QString& pattern, Direction direction, std::optional<qint64> from, int limit);

    Result run(std::chrono::nanoseconds budget) override;
    bool isDone() const override { return m_done; }
    QList<qint64> keys() const override;
    QList<Method> methods() const override;

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
    bool filled() const { return m_found.size() >= m_limit; }

    sqlite3* m_db;
    SearchIndex* m_index;
    ColumnCache* m_columns;
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
};
