#pragma once

#include "platform/Progress.h"
#include "platform/Result.h"

#include <QString>

// Whole database files: consistent copies, checks and replacements, always through
// SQLite itself so that a file in use is copied as one consistent state and a file is
// replaced whole or not at all.
namespace DatabaseFile {

// Copies the database at `source` to `destination` with SQLite's online backup, into a
// temporary file beside the destination that then takes its place: an earlier file at
// the destination is replaced only by a complete copy. Stopped through `progress`, it leaves
// no file behind and the destination as it was.
Result copy(const QString& source, const QString& destination, Progress* progress = nullptr);

// Whether the file is a database of the office: an ordinary file, SQLite, whole
// (integrity check), with the six tables and all their columns, and no schema object the
// program does not create itself. The message says what is wrong.
Result check(const QString& path);

// Why the program would refuse to open the database at `path` (not SQLite, a table or a
// column missing, an object the program does not make), as a phrase; empty when it would
// not. Reads the catalogue only: quick on any size.
QString refusal(const QString& path);

// Puts the contents of `backup` into the database at `live`, in one transaction: the
// live file ends up as the backup, or stays exactly as it was. A live file too damaged
// for SQLite to write into is replaced whole by a copy of the backup. Stopped through
// `progress`, the live file stays as it was.
Result restore(const QString& backup, const QString& live, Progress* progress = nullptr);

// Removes from a folder the temporary copies that a copy cut short (the program killed
// during a backup or a restore) left behind, with their journals; answers how many.
// Only files named the way copy() names them are touched.
int removeStaleCopies(const QString& folder);

} // namespace DatabaseFile
