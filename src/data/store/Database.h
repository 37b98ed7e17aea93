#pragma once

#include "data/vocabulary/DatabaseLocation.h"
#include "data/vocabulary/Engine.h"
#include "platform/Result.h"

#include <QSqlDatabase>
#include <QString>
#include <memory>

class ColumnCache;
class Dialogs;
class QSqlQuery;
class QSqlError;
class SearchIndex;
class WriteLedger;
struct sqlite3;

// One open database: a SQLite file, or a PostgreSQL database on a server, as daba.ini
// names it (DatabaseLocation). Every record source that names the same database shares
// one connection; it closes when the last of them lets go. What the two engines do their
// own way, the database's Engine does (SqliteEngine, PostgresEngine): open() is the one
// place that chooses it.
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
    // PostgreSQL: `dialogs` show the waits for the server, with "Annulla" (StatementWait).
    static Result open(const QString& path, std::shared_ptr<Database>& database, Dialogs* dialogs = nullptr);
    // Like open(), but with a connection of its own that nothing else shares: what another
    // copy of the program on the same file has, here within one process.
    static Result openSeparate(const QString& path, std::shared_ptr<Database>& database, Dialogs* dialogs = nullptr);

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
    // What the engine does its own way.
    ::Engine& backend() const { return *m_backend; }
    QSqlDatabase connection() const;
    // SQLite's own handle; none on PostgreSQL.
    sqlite3* handle() const;

    // The column that identifies a row and gives the rows their order: SQLite's rowid; on
    // PostgreSQL the table's key, or the hidden rowid of visite and foto.
    QString keyColumn(const QString& table) const { return m_backend->keyColumn(table); }

    // PostgreSQL: the quick-search fields have their index of one- and two-character
    // pieces (PostgresSchema::gramsIndexStatements).
    bool hasPieceIndex() const;

    // PostgreSQL: after an error that lost the connection (isConnectionLoss), connects
    // again so that the next operation finds the server if it is back; false while not.
    bool reconnect() { return m_backend->reconnect(); }
    // PostgreSQL: the error lost the connection, or the connection is already closed (a
    // reconnection tried while the server was away); either way reconnect() is due.
    bool connectionLost(const QSqlError& error) const { return m_backend->connectionLost(error); }
    // PostgreSQL: a connection closed by a reconnection that found no server is opened
    // again before the next statement, so the first try after the server is back works.
    void comeBack() { m_backend->comeBack(); }
    // PostgreSQL: closes the connection, and with it what was prepared on it (one the user gave
    // up waiting for); the next operation connects again.
    void letGo() { m_backend->letGo(); }
    // Counts the reconnections: a statement prepared on an earlier connection is gone
    // from the server and must be prepared again.
    int connectionGeneration() const { return m_backend->connectionGeneration(); }

    // PostgreSQL: a statement prepared once on the connection as it is now and kept for
    // the next time, so that running it again costs one round trip to the server instead
    // of three (Qt's driver prepares and drops a statement on the server for each query
    // object). Bind its values, run it, read it, then finish() it. Null when it cannot be
    // prepared (`error` says why) or on SQLite.
    QSqlQuery* kept(const QString& sql, QSqlError& error) { return m_backend->kept(sql, error); }
    // Drops a kept statement that failed: the next time it is prepared again (the tables
    // may have been made again by a restore since).
    void forget(const QString& sql) { m_backend->forget(sql); }
    // Whether statements are kept (PostgreSQL).
    bool keepsStatements() const { return m_backend->keepsStatements(); }

    // PostgreSQL: the window's thread is waiting for a statement now (StatementWait): one started
    // from its events meanwhile would meet it on the connection, and should come back later.
    static bool waiting();

    // What an error of this database's engine means, as a phrase that ends the caller's sentence.
    QString describe(const QSqlError& error) const { return m_backend->describe(error); }
    // The same for an error met while reading rows for a report.
    QString describeReading(const QSqlError& error) const { return m_backend->describeReading(error); }

    // What makes searches as the user types quick on SQLite: the trigram index in the file
    // and the text columns held in memory. None on a database that could not take them,
    // and none on PostgreSQL, whose trigram indexes are the server's own.
    SearchIndex* searchIndex() const;
    ColumnCache* columns() const;
    // SQLite: tells others' writes from the search index builder's (none on PostgreSQL).
    WriteLedger* ledger() const;

private:
    Database(const QString& path, const DatabaseLocation& location, const QString& connectionName);
    // Shared: the connection of every other source on that database, made if there is none.
    static Result connectTo(const QString& path, std::shared_ptr<Database>& database, bool shared, Dialogs* dialogs);

    QString m_path;
    DatabaseLocation m_location;
    QString m_connectionName;
    std::unique_ptr<::Engine> m_backend;
};
