#pragma once

#include <QString>
#include <QVariantList>
#include <memory>
#include <vector>

class Database;
class PostgresSearch;

// A statement whose rows are read without waiting for the server: on PostgreSQL it goes
// over a connection of its own, and its answer is looked for between events, so a window
// stays usable however long the server takes. A help, never a condition: when it fails
// the caller runs the statement on the program's own connection, which says why.
class ServerRows {
public:
    enum class State { Waiting, Done, Failed };

    // Null on SQLite, without PostgreSQL's client library, or when the server cannot be reached.
    static std::unique_ptr<ServerRows> connect(const Database& database);
    ~ServerRows();
    ServerRows(const ServerRows&) = delete;
    ServerRows& operator=(const ServerRows&) = delete;

    // Sends a statement with "?" for its values; one still under way is cancelled first.
    bool send(const QString& sql, const QVariantList& values);
    // Whether the answer is here, without waiting, or waiting for it when `untilDone`.
    State poll(bool untilDone = false);
    // The rows of the answer, once Done: numbers as numbers, texts, nulls.
    std::vector<QVariantList> takeRows();
    // Stops the statement on the server; its answer is thrown away.
    void cancel();
    // The connection is gone: make another.
    bool isBroken() const;

private:
    explicit ServerRows(std::unique_ptr<PostgresSearch> connection);

    std::unique_ptr<PostgresSearch> m_connection;
    quint64 m_ticket = 0;
};
