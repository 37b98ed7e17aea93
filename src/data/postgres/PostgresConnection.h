#pragma once

#include "data/vocabulary/DatabaseLocation.h"
#include "platform/Result.h"

#include <QString>
#include <QStringList>

class Dialogs;
class QSqlDatabase;

// Connections to a PostgreSQL server through Qt's QPSQL driver. No password is ever
// given here: libpq finds it in ~/.pgpass (or PGPASSFILE), and PGSSLMODE and the other
// PG* variables of the environment apply as they do to psql.
namespace PostgresConnection {

// Adds a QPSQL connection of that name and opens it. A failure removes the connection
// again and says, in one Italian phrase, what went wrong: the driver missing, the server
// not reachable, the access refused, the database missing.
// With `dialogs`, the wait for a server slow to answer shows a progress the user can stop.
Result open(const DatabaseLocation& location, const QString& connectionName, Dialogs* dialogs = nullptr);

// Why a connection to that database cannot be made, found by trying the steps one by
// one (the server's port, then the server's maintenance database): libpq's own message
// is English, or in whatever language the machine speaks, and says little to an office.
QString diagnose(const DatabaseLocation& location);

// Whether PostgreSQL answers on the server's port within `waitMs` (its first question,
// before any password): a server stopped, frozen or cut off half-way does not.
bool answers(const DatabaseLocation& location, int waitMs);

// Who holds a lock on one of these tables, as a phrase for an office ("un'altra postazione
// di VELMORA (computer 192.168.1.12, utente «velmora»)", "un ripristino di backup …"):
// the other session's program and the computer it connects from, as the server knows them.
// Empty when nobody does (any more), or the server cannot say.
QString lockHolder(const QSqlDatabase& db, const QStringList& tables);
// The same phrase from what the server tells of the other session.
QString holderPhrase(const QString& application, const QString& address, const QString& user);

// The user libpq connects as when the address names none.
QString effectiveUser(const DatabaseLocation& location);

} // namespace PostgresConnection
