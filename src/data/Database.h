#pragma once

#include "Result.h"

#include <QSqlDatabase>
#include <QString>
#include <memory>

class ColumnCache;
class SearchIndex;
struct sqlite3;

// One open database file. Every record source that names the same file shares one
// connection; it closes when the last of them lets go.
class Database {
public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing database and checks that it holds the six tables. A missing
    // file, a file that is not a database, or a missing table is refused with a
    // message naming the file.
    static Result open(const QString& path, std::shared_ptr<Database>& database);
    // Like open(), but with a connection of its own that nothing else shares: what another
    // copy of the program on the same file has, here within one process.
    static Result openSeparate(const QString& path, std::shared_ptr<Database>& database);

    // Makes a new database file with the six tables; an existing file is refused.
    static Result create(const QString& path);

    const QString& path() const { return m_path; }
    QSqlDatabase connection() const;
    sqlite3* handle() const;

    // What makes searches as the user types quick: the trigram index in the file and the
    // text columns held in memory. None on a database that could not take them.
    SearchIndex* searchIndex() const { return m_index.get(); }
    ColumnCache* columns() const { return m_columns.get(); }

private:
    Database(const QString& path, const QString& connectionName);

    QString m_path;
    QString m_connectionName;
    std::unique_ptr<SearchIndex> m_index;
    std::unique_ptr<ColumnCache> m_columns;
};
