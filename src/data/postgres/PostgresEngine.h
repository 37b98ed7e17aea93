#pragma once

#include "data/vocabulary/DatabaseLocation.h"
#include "data/vocabulary/Engine.h"

#include <QString>
#include <list>
#include <memory>
#include <utility>

class PostgresSearch;
class ServerWatch;

// A database on a PostgreSQL server: its keys, its statements kept prepared, the
// connection of its own for searches as the user types, the watch over a server that
// stops answering, and the reconnection after one that went away.
class PostgresEngine : public Engine {
public:
    ~PostgresEngine() override;

    // Connects under `connectionName`, gives an empty database the six tables and checks
    // them; a refusal says why in a phrase that ends the caller's sentence.
    // `dialogs` (of the window that opens it) show the waits for the server, with "Annulla".
    static Result open(const DatabaseLocation& location, const QString& connectionName,
                       std::unique_ptr<Engine>& engine, Dialogs* dialogs = nullptr);
    // Gives an existing, empty database the six tables (one that holds any is refused).
    static Result create(const DatabaseLocation& location, const QString& connectionName);

    Kind kind() const override { return Kind::PostgreSQL; }
    QSqlDatabase connection() const override;
    QString keyColumn(const QString& table) const override;
    QSqlQuery* rowsByKeys(const QString& table, const QList<qint64>& keys, QSqlQuery& plain, QString& sql) override;
    QString returningKey(const QString& table) const override;
    QString criteriaSql(const QString& table, const Query::Condition& condition, bool leads,
                        QVariantList& values) const override;
    bool weighsCriteria(const QString&, const QList<Query::Condition>&) const override { return false; }
    int weighLeading(const QString&, const QList<Query::Condition>&) const override { return -1; }
    bool runBriefly(const std::function<void()>& run) const override;
    std::unique_ptr<KeyScan> keySearch(const QString& table, const QString& field, const QString& pattern,
                                       KeyScan::Direction direction, std::optional<qint64> from, int limit) override;
    QString describe(const QSqlError& error) const override;
    QString describeReading(const QSqlError& error) const override;
    bool reconnect() override;
    bool connectionLost(const QSqlError& error) const override;
    void comeBack() override;
    void letGo() override;
    int connectionGeneration() const override { return m_generation; }
    QSqlQuery* kept(const QString& sql, QSqlError& error) override;
    void forget(const QString& sql) override;
    bool keepsStatements() const override { return true; }
    Result stillThere(Dialogs* dialogs) override;

    // The quick-search fields have their index of one- and two-character pieces
    // (PostgresSchema::gramsIndexStatements).
    bool hasPieceIndex() const { return m_pieceIndex; }
    // The connection of its own for searches as the user types, made when first asked
    // for; null without the client library, or when the server could not be reached since
    // the connection was last made again. Only the one there is, if any, without `make`.
    PostgresSearch* searchConnection(bool make = true);

private:
    PostgresEngine(const DatabaseLocation& location, const QString& connectionName);
    // Connects again, after a quick question to the server's port that the user can stop.
    bool connectAgain();

    DatabaseLocation m_location;
    QString m_connectionName;
    bool m_pieceIndex = false;
    Dialogs* m_dialogs = nullptr; // of the window that opened it: the waits for the server
    int m_generation = 0;
    std::list<std::pair<QString, std::unique_ptr<QSqlQuery>>> m_kept; // most recently used first
    std::unique_ptr<PostgresSearch> m_search;
    std::unique_ptr<ServerWatch> m_serverWatch; // gives up a server that stopped answering
    int m_searchGeneration = -1; // of the connection the search connection was last tried with
};
