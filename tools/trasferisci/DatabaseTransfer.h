#pragma once

#include "platform/Progress.h"
#include "platform/Result.h"

#include <QList>
#include <QString>
#include <functional>

// Moving an office from one database to another: a SQLite file onto a PostgreSQL server
// (several desks), or back.
namespace DatabaseTransfer {

// How many rows of one table were copied.
struct Copied {
    QString table;
    qint64 rows = 0;
};

// Copies every row of the six tables of the database `from` into the database `into`,
// each named as daba.ini names it (a file path or a postgresql:// address). Keys stay as
// they are, and keys given once and deleted since are not given again on the target;
// photos keep their paths. The target must hold no rows: a missing file is made, an
// empty server database is given the six tables. Everything is written in one
// transaction, so a failure, or a stop through `progress`, leaves the target empty (a
// file made here is removed). `stage` hears which table is being copied.
Result copy(const QString& from, const QString& into, Progress* progress = nullptr,
            const std::function<void(const QString& caption)>& stage = {}, QList<Copied>* copied = nullptr);

// "100.000 immobili, 1 richiesta, ..." for what copy() reports.
QString summary(const QList<Copied>& copied);

} // namespace DatabaseTransfer
