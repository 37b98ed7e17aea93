#pragma once

#include <QString>

class QSqlError;

// What a PostgreSQL server's error means, in the office's words (EngineError does the same
// for SQLite's result codes).
namespace PostgresError {

// An error of a PostgreSQL server, told by its SQLSTATE class; a connection lost on the
// way (no SQLSTATE at all) is told as such.
QString describe(const QSqlError& error);

// Whether a PostgreSQL error means the connection to the server is gone (the server
// stopped or restarted, the network broke), rather than a refusal of the statement.
bool isConnectionLoss(const QSqlError& error);

} // namespace PostgresError
