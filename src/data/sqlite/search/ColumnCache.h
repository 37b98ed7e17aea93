#pragma once

#include "data/sqlite/search/BlockMap.h"
#include "data/sqlite/search/TextColumn.h"
#include "platform/Result.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class WriteLedger;
struct sqlite3;

// The text columns a database's searches keep in memory, within a limit of bytes: the
// least recently used goes first, and a column that alone would pass the limit is not
// kept at all: a map of its blocks of rows is kept instead (see BlockMap). Columns and
// maps are made in slices while the event loop is idle; until they are ready, searches
// go another way. Both follow the program's own writes row by row, and are made again
// when another connection has written the file. One that cannot get its memory is dropped
// and its field searched without it.
class ColumnCache : public QObject {
    Q_OBJECT
public:
    // `ledger` (may be none) tells the writes of others from the search index's builder's.
    explicit ColumnCache(sqlite3* db, WriteLedger* ledger = nullptr, QObject* parent = nullptr);
    ~ColumnCache() override;

    // The column when it is complete and current; otherwise nullptr, and it is being made.
    TextColumn* column(const QString& table, const QString& field);
    // Makes the column now, whatever it takes (benchmarks, tests); a column past the
    // limit is refused, and its block map is made instead.
    Result makeNow(const QString& table, const QString& field);

    // The block map of a field whose column is past the limit, however far it is made
    // (see BlockMap::coveredUpTo), and the rest is being made; nullptr for other fields.
    BlockMap* blocks(const QString& table, const QString& field);

    // A row of a table was written through this program's connection.
    void rowChanged(const char* table, qint64 rowid);

    // The limit applies to the columns; the maps, a small fraction of their size, come beside.
    void setLimit(std::size_t bytes) { m_limit = bytes; }
    std::size_t bytes() const;
    std::size_t mapBytes() const;

private:
    TextColumn* find(const QString& table, const QString& field);
    TextColumn* want(const QString& table, const QString& field);
    BlockMap* wantMap(const QString& table, const QString& field);
    bool current();
    void buildSlice();
    // Builds the front column for a while; false once it is known to be past the limit
    // (then it is gone).
    Result buildColumn(const std::function<bool()>& outOfTime, bool& complete);
    bool isTooLarge(const QString& table, const QString& field) const;
    Result buildMapStep(BlockMap& map, const std::function<bool()>& outOfTime, bool& complete);
    // A column or `map` that could not get its memory (a process under a memory limit) is
    // dropped: a column gives way to its map, a map to nothing while the database is open.
    // The names are copies: the column or map that holds them goes.
    Result outOfMemory(QString table, QString field, bool map);

    sqlite3* m_db;
    WriteLedger* m_ledger;
    std::vector<std::unique_ptr<TextColumn>> m_columns; // most recently used first
    std::size_t m_limit = 64u << 20;
    qint64 m_dataVersion = -1;
    QStringList m_tooLarge;  // "table.field" of columns past the limit
    QStringList m_noMemory;  // "table.field" of columns and maps that could not get their memory
    std::vector<std::unique_ptr<BlockMap>> m_maps; // most recently used first
    QTimer m_timer;
};
