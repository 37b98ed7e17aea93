#pragma once

struct sqlite3;

// The SQL functions the program's queries use, added to each connection:
//   vlike(text, pattern)  the office's LIKE (see LikePattern)
//   vequal(a, b)          text equality ignoring case in full Unicode
// Both give null when either side is null, so such a row never matches.
namespace SqlFunctions {

bool install(sqlite3* db);

} // namespace SqlFunctions
