#pragma once

#include "Result.h"

class QSqlDatabase;

// Creates (or brings up to date) in a PostgreSQL database the functions the program's
// PostgreSQL SQL uses, the counterparts of SQLite's SqlFunctions:
//   velmora_fold(text)          folds case in full Unicode exactly as the program does
//   velmora_like(text, text)    the office's LIKE with a pattern that is not a bound value
//                               (a field's text); a bound pattern uses PostgresPattern
//   velmora_equal(text, text)   text equality ignoring case, like vequal
//   vnumber(text)               the leading-number rule (Numbers::leading), or null
//   vnumber(double precision)   the number itself
//   vnumber(numeric)            the number as a double (too large: the largest, with its sign)
//   vdate(text, text)           the ISO day a stored date text stands for (Query::storedDay)
// All are immutable; a null argument gives null. Safe to call on every open: it only
// replaces these functions. A failure is told in one Italian sentence.
Result installPostgresFunctions(QSqlDatabase& database);
