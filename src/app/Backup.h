#pragma once

#include "data/postgres/PostgresTools.h"
#include "platform/gui/Context.h"

// The toolbar's "CREA BACKUP" and "     RECUPERA BACKUP".
namespace Backup {

// The backup file of a day in the program folder: backup_06-12-2026.bak.
QString fileFor(const Context& context, const QDate& day);

// Copies the database that daba.ini names into the day's backup file, after the usual
// warning; says where the backup is, or why there is none.
// On PostgreSQL the backup is a pg_dump archive, made with the programs `tools` finds.
void create(const Context& context);
void create(const Context& context, const PostgresTools& tools);

// Asks for a backup file and puts it in place of the database that daba.ini names,
// keeping the replaced database beside it. Answers whether the program must now end
// (only after a restore that took place).
// On PostgreSQL the replaced data is first kept as a pg_dump archive in the program folder,
// and pg_restore puts the chosen archive in place in one transaction.
bool restore(const Context& context);
bool restore(const Context& context, const PostgresTools& tools);

} // namespace Backup
