#pragma once

struct sqlite3;

// The SQL functions the program's queries use, added to each connection:
//   vlike(text, pattern)  the office's LIKE (see LikePattern)
//   vequal(a, b)          text equality ignoring case in full Unicode
//   vnumber(value)        a number column's value as a number: a text counts as its
//                         leading number (Numbers::leading), or as null
//   vdate(text, order)    the ISO day a stored date text stands for (Query::storedDay), or null
// vlike and vequal give null when either side is null, so such a row never matches.
namespace SqlFunctions {

bool install(sqlite3* db);

} // namespace SqlFunctions
