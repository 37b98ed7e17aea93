#pragma once

#include "data/vocabulary/DatabaseLocation.h"
#include "platform/Result.h"

#include <QSqlDatabase>
#include <QString>
#include <list>
#include <memory>
#include <utility>

class ColumnCache;
class PostgresSearch;
class QSqlQuery;
class QSqlError;
class SearchIndex;
class ServerWatch;
class WriteLedger;
struct sqlite3;

// One open database: a SQLite file, or a PostgreSQL database on a server, as daba.ini
// names it (DatabaseLocation). Every record source that names the same database shares
// one connection; it closes when the last of them lets go.
class Database {
public:
    using Engine = DatabaseLocation::Engine;

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing database and checks that it holds the six tables. A missing
    // file, a file that is not a database, a server that cannot be reached or refuses
    // the access, or a missing table is refused with a message naming the database.
    // An empty PostgreSQL database is given the six tables first.
    static Result open(const QString& path, std::shared_ptr<Database>& database);
    // Like open(), but with a connection of its own that nothing else shares: what another
    // copy of the program on the same file has, here within one process.
    static Result openSeparate(const QString& path, std::shared_ptr<Database>& database);

    // Opens the database as a window would, and lets it go: whether it can be used, and
    // if not, why (the settings window's check of a server's address).
    static Result check(const QString& path);

    // Makes a new database with the six tables: a new SQLite file (an existing file is
    // refused), or the tables in an existing, empty PostgreSQL database (one that already
    // holds any of them is refused).
    static Result create(const QString& path);

    // daba.ini's value: the file path, or the server's address.
    const QString& path() const { return m_path; }
    const DatabaseLocation& location() const { return m_location; }
    Engine engine() const { return m_location.engine(); }
    bool isPostgres() const { return m_location.isPostgres(); }
    QSqlDatabase connection() const;
    // SQLite's own handle; none on PostgreSQL.
    sqlite3* handle() const;

    // The column that identifies a row and gives the rows their order: SQLite's rowid; on
    // PostgreSQL the table's key, or the hidden rowid of visite and foto.
    QString keyColumn(const QString& table) const;

    // PostgreSQL: the quick-search fields have their index of one- and two-character
    // pieces (PostgresSchema::gramsIndexStatements).
    bool hasPieceIndex() const { return m_pieceIndex; }

    // SQLite: `table` (immobile or richiesta) has the index over purpose, type, mq and price
    // that the matching of properties and requests walks (CriteriaIndex).
    bool hasMatchingIndex(const QString& table) const;

    // PostgreSQL: after an error that lost the connection (isConnectionLoss), connects
    // again so that the next operation finds the server if it is back; false while not.
    bool reconnect();
    // PostgreSQL: the error lost the connection, or the connection is already closed (a
    // reconnection tried while the server was away); either way reconnect() is due.
    bool connectionLost(const QSqlError& error) const;
    // PostgreSQL: a connection closed by a reconnection that found no server is opened
    // again before the next statement, so the first try after the server is back works.
    void comeBack();
    // Counts the reconnections: a statement prepared on an earlier connection is gone
    // from the server and must be prepared again.
    int connectionGeneration() const { return m_generation; }

    // PostgreSQL: a statement prepared once on the connection as it is now and kept for
    // the next time, so that running it again costs one round trip to the server instead
    // of three (Qt's driver prepares and drops a statement on the server for each query
    // object). Bind its values, run it, read it, then finish() it. Null when it cannot be
    // prepared (`error` says why) or on SQLite.
    QSqlQuery* kept(const QString& sql, QSqlError& error);
    // Drops a kept statement that failed: the next time it is prepared again (the tables
    // may have been made again by a restore since).
    void forget(const QString& sql);

    // PostgreSQL: the connection of its own for searches as the user types, made when
    // first asked for; null on SQLite, without the client library, or when the server
    // could not be reached since the connection was last made again. Only the one there
    // is, if any, without `make`.
    PostgresSearch* searchConnection(bool make = true);

    // What an error of this database's engine means, as a phrase that ends the caller's sentence.
    QString describe(const QSqlError& error) const;
    // The same for an error met while reading rows for a report.
    QString describeReading(const QSqlError& error) const;

    // What makes searches as the user types quick on SQLite: the trigram index in the file
    // and the text columns held in memory. None on a database that could not take them,
    // and none on PostgreSQL, whose trigram indexes are the server's own.
    SearchIndex* searchIndex() const { return m_index.get(); }
    ColumnCache* columns() const { return m_columns.get(); }
    // SQLite: tells others' writes from the search index builder's (none on PostgreSQL).
    WriteLedger* ledger() const { return m_ledger.get(); }

private:
    Database(const QString& path, const DatabaseLocation& location, const QString& connectionName);
    // Shared: the connection of every other source on that database, made if there is none.
    static Result connectTo(const QString& path, std::shared_ptr<Database>& database, bool shared);
    static Result openPostgres(const QString& path, const DatabaseLocation& location,
                               std::shared_ptr<Database>& database, bool shared);
    static Result createPostgres(const DatabaseLocation& location);

    QString m_path;
    DatabaseLocation m_location;
    QString m_connectionName;
    bool m_pieceIndex = false;
    int m_generation = 0;
    std::list<std::pair<QString, std::unique_ptr<QSqlQuery>>> m_kept; // most recently used first
    std::unique_ptr<PostgresSearch> m_search;
    std::unique_ptr<ServerWatch> m_serverWatch; // PostgreSQL: gives up a server that stopped answering
    int m_searchGeneration = -1; // of the connection the search connection was last tried with
    std::unique_ptr<WriteLedger> m_ledger; // outlives the index and the columns that use it
    std::unique_ptr<SearchIndex> m_index;
    std::unique_ptr<ColumnCache> m_columns;
};
