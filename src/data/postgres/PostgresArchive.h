#pragma once

#include "data/postgres/PostgresTools.h"
#include "data/vocabulary/DatabaseLocation.h"
#include "platform/Progress.h"
#include "platform/Result.h"

#include <QString>

// Backups of an office database on PostgreSQL: pg_dump's custom-format archives, made,
// checked and restored with PostgreSQL's own programs.
namespace PostgresArchive {

// Whether the file starts the way every pg_dump custom-format archive does.
bool looksLikeArchive(const QString& path);

// Writes an archive of the database at `location` to `destination`, through a temporary
// file beside it that takes its place only when complete: stopped through `progress` or
// failed, it leaves no file behind and an earlier file at the destination as it was.
Result write(const DatabaseLocation& location, const QString& destination, const PostgresTools& tools,
             Progress* progress = nullptr);

// Whether the file is an archive that pg_restore reads (its table of contents) and that
// holds the office's six tables with their rows. The message says what is wrong.
Result check(const QString& path, const PostgresTools& tools);

// Puts the contents of an archive in place of the tables of the database at `location`,
// in one transaction: the database ends up as the archive, or stays exactly as it was
// (stopped through `progress`, failed, or cut off half-way).
Result restore(const QString& archive, const DatabaseLocation& location, const PostgresTools& tools,
               Progress* progress = nullptr);

} // namespace PostgresArchive
