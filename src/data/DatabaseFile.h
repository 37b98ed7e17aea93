#pragma once

#include "Progress.h"
#include "Result.h"

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

// Whether the file is a database of the office: SQLite, whole (integrity check), with
// the six tables. The message says what is wrong.
Result check(const QString& path);

// Puts the contents of `backup` into the database at `live`, in one transaction: the
// live file ends up as the backup, or stays exactly as it was (also when stopped through
// `progress`).
Result restore(const QString& backup, const QString& live, Progress* progress = nullptr);

} // namespace DatabaseFile
