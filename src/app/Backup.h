#pragma once

#include "Context.h"

// The toolbar's "CREA BACKUP" and "     RECUPERA BACKUP".
namespace Backup {

// The backup file of a day in the program folder: backup_06-12-2026.bak.
QString fileFor(const Context& context, const QDate& day);

// Copies the database that daba.ini names into the day's backup file, after the usual
// warning; says where the backup is, or why there is none.
void create(const Context& context);

// Asks for a backup file and puts it in place of the database that daba.ini names,
// keeping the replaced database beside it. Answers whether the program must now end
// (only after a restore that took place).
bool restore(const Context& context);

} // namespace Backup
