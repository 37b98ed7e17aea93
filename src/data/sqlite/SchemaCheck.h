#pragma once

#include <QString>

struct sqlite3;

namespace SchemaCheck {

// Whether an open database is one the program can work on: the six tables, each with
// all its columns, and no schema object the program does not create itself
// (SqliteSchema::ownObjects). Empty when it is; otherwise what is wrong, as a phrase naming
// the table, column or object ("mancano le tabelle «foto», «agenda»", "la tabella «foto» è
// dichiarata WITHOUT ROWID, …", "nella tabella
// «immobile» manca la colonna «mq»", "contiene il trigger «svuota», che VELMORA non crea").
// Reads the schema only: nothing in the file runs, nothing is written.
QString problem(sqlite3* db);

} // namespace SchemaCheck
