#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>

class QSqlDatabase;

// The six tables of the office on a PostgreSQL server, with the same fields and the same
// kinds of value as in a SQLite file (Schema): keys are identities that the server alone
// assigns and never gives again; numbers are numeric, texts and dates text. `visite` and
// `foto` have no key of their own, so each gets a hidden one, `rowid`, as SQLite keeps
// for every row: it identifies a row for an edit or a delete and keeps the rows in the
// order they were added. Quick searches are served by trigram indexes (pg_trgm) and
// indexes of one- and two-character pieces on the fields searched as the user types.
namespace PostgresSchema {

// The column that identifies a row of the table and orders the rows: its key, or the
// hidden rowid of visite and foto.
QString keyColumn(const QString& table);

// The statements that make the six tables and their ordinary indexes.
QStringList createStatements();

// The statements that make the trigram indexes (pg_trgm must be installed first).
QStringList searchIndexStatements();

// A pattern with fewer than three plain characters in a row has no trigram to look up:
// velmora_grams(text) gives the one- and two-character pieces of a text folded as the
// office's LIKE folds it (velmora_fold, installPostgresFunctions), and a GIN index over
// them on each quick-search field finds the rows that hold a piece.
QString gramsFunction();
QStringList gramsIndexStatements();
// Whether the database has velmora_grams, and so the indexes over it.
bool hasGrams(const QSqlDatabase& db);

// "ANALYZE immobile, richiesta, …" (after `command`, ANALYZE or VACUUM ANALYZE): the
// program's own tables only, since a user that owns the database but not the server's
// catalogue gets a warning for every table of the catalogue that a bare ANALYZE visits.
QString analyzeStatement(const QString& command = QStringLiteral("ANALYZE"));

// Makes the six tables in a database that has none of them, in one transaction that
// waits for any other desk doing the same; a database that has them all is left as it
// is, one that has only some is refused. Then adds the trigram indexes where it can:
// they only make searches quick, so a server without pg_trgm, or a user who may not
// create them, is no failure.
Result prepare(QSqlDatabase& db);

// Whether the open database is one the program can work on: the six tables, each with
// all its columns and its row key, and no trigger or rule on them, which would act on
// every edit. Empty when it is; otherwise what is wrong, as a phrase naming the table,
// column or object. Reads the catalogue only.
QString problem(const QSqlDatabase& db);

} // namespace PostgresSchema
