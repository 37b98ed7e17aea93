#pragma once

struct sqlite3;

// The SQL functions the program's queries use, added to each connection:
//   vlike(text, pattern)  the office's LIKE (see LikePattern); false for a null text
//   vequal(a, b)          text equality ignoring case in full Unicode; false for a null
namespace SqlFunctions {

bool install(sqlite3* db);

} // namespace SqlFunctions
