#pragma once

#include "Result.h"
#include "TextColumn.h"

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <vector>

struct sqlite3;

// The text columns a database's searches keep in memory, within a limit of bytes: the
// least recently used goes first, and a column that alone would pass the limit is not
// kept at all (its searches read the table instead). A column is made in slices while the event loop is
// idle; until it is complete, searches go another way. Columns follow the program's own
// writes row by row, and are made again when another connection has written the file.
class ColumnCache : public QObject {
    Q_OBJECT
public:
    explicit ColumnCache(sqlite3* db, QObject* parent = nullptr);
    ~ColumnCache() override;

    // The column when it is complete and current; otherwise nullptr, and it is being made.
    TextColumn* column(const QString& table, const QString& field);
    // Makes the column now, whatever it takes (benchmarks, tests).
    Result makeNow(const QString& table, const QString& field);

    // A row of a table was written through this program's connection.
    void rowChanged(const char* table, qint64 rowid);

    void setLimit(std::size_t bytes) { m_limit = bytes; }
    std::size_t bytes() const;

private:
    TextColumn* find(const QString& table, const QString& field);
    TextColumn* want(const QString& table, const QString& field);
    bool current();
    void buildSlice();

    sqlite3* m_db;
    std::vector<std::unique_ptr<TextColumn>> m_columns; // most recently used first
    std::size_t m_limit = 64u << 20;
    qint64 m_dataVersion = -1;
    QStringList m_tooLarge;  // "table.field" of columns past the limit
    QTimer m_timer;
};
