#pragma once

#include "data/vocabulary/DatabaseLocation.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantList>
#include <chrono>
#include <memory>
#include <vector>

struct pg_conn;
struct pg_cancel;
struct pg_result;

// A connection of its own to the server for the searches as the user types, driven
// without waiting for the server: a search is sent, the window goes on with its events
// while the server works, and a search superseded by the next keystroke is cancelled on
// the server instead of being waited for. A statement costs one round trip (parsed,
// planned for its values and run at once), where Qt's driver spends three (PREPARE,
// EXECUTE, DEALLOCATE).
//
// A help, never a condition: whatever goes wrong here (no connection, a lost one, an
// error of the server), the caller runs the statement again on the program's own
// connection, which says why in the program's words.
class PostgresSearch {
public:
    enum class State { Idle, Waiting, Done, Failed };

    // Null when the server cannot be reached.
    static std::unique_ptr<PostgresSearch> connect(const DatabaseLocation& location);
    ~PostgresSearch();
    PostgresSearch(const PostgresSearch&) = delete;
    PostgresSearch& operator=(const PostgresSearch&) = delete;

    // Sends a statement that answers one column of keys, with "?" for its parameters
    // (given as their text; a null QByteArray is NULL). Any statement still under way is
    // cancelled first. Answers the ticket that asks for its answer; 0 when it could not
    // be sent.
    quint64 send(const QString& sql, const QList<QByteArray>& values);
    // The same for a statement whose whole rows are wanted (rows()).
    quint64 sendForRows(const QString& sql, const QList<QByteArray>& values);
    // Waits up to `timeout` (negative: until the answer) for the answer of the statement
    // of that ticket. Failed when another statement was sent since.
    State wait(quint64 ticket, std::chrono::nanoseconds timeout);
    // The keys of the answer, once Done.
    const QList<qint64>& keys() const { return m_keys; }
    // The rows of the answer of sendForRows(), once Done: numbers as numbers, the rest as
    // texts, NULL as a null value. Taken away by the caller.
    std::vector<QVariantList>& rows() { return m_rows; }
    // Tells the server to stop the statement of that ticket, if it is still working on
    // it; its answer is then thrown away.
    void cancel(quint64 ticket);
    // The connection is gone: make another.
    bool isBroken() const;

private:
    explicit PostgresSearch(pg_conn* connection);
    // Reads whatever answer is left of an earlier statement, waiting for it.
    bool drain();
    // Collects the answer once the connection has all of it.
    State collect();
    void collectRows(pg_result* result);
    void cancel();

    pg_conn* m_connection;
    pg_cancel* m_cancel = nullptr;
    State m_state = State::Idle;
    quint64 m_ticket = 0; // of the statement last sent
    bool m_discard = false; // the answer under way is of a cancelled statement
    QList<qint64> m_keys;
    bool m_wantRows = false;
    std::vector<QVariantList> m_rows;
};
