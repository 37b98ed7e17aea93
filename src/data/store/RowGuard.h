#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <functional>

class Dialogs;

// Reads one stored row as it is now, and writes it only while it is still as this desk
// read it: another desk (another copy of the program on the same database, another
// connection) may have changed or deleted it since. Inside one transaction the row is
// locked against other writers, read again and compared, field by field, with the row
// as read before; only when nothing differs does the write run. Comparing the values
// read needs nothing added to the office's tables, so any other tool may go on writing
// them.
//
// Rows are read as "SELECT <key>, * FROM <table>": the key first, then every column.
class RowGuard {
public:
    struct Outcome {
        enum class Kind { Written, Changed, Deleted, Failed };
        Kind kind = Kind::Failed;
        QVariantList stored; // Changed: the row as it is stored now
        QList<int> changed;  // Changed: the columns whose stored value is not the one read
        QSqlError error;     // Failed
        QString holder;      // Failed on a lock (PostgreSQL): who holds it, when the server says
    };

    // `dialogs` show the window's waits on a PostgreSQL server (StatementWait).
    RowGuard(const QSqlDatabase& db, const QString& table, const QString& keyColumn, Dialogs* dialogs = nullptr);

    // The row of that key as stored now; false when there is none or it cannot be read
    // (then `error` says why).
    bool read(qint64 key, QVariantList& row);
    const QSqlError& error() const { return m_error; }

    // Runs `statement` (an UPDATE or DELETE of the row, prepared and run on the query it is
    // given; false when it failed) if the row is still `read`. Whatever is not Written
    // leaves the database as it was.
    // PostgreSQL: with `dialogs`, a row another session holds is waited for
    // with a progress that names who holds it, until the row is free or the user gives up;
    // without, it is waited for a second, then the write fails, naming the holder.
    Outcome write(const QVariantList& read, const std::function<bool(QSqlQuery&)>& statement,
                  Dialogs* dialogs = nullptr) const;

    // The same value, read twice through the same driver: nulls are equal, numbers
    // exactly equal, texts equal to the character (a change of case is a change).
    static bool same(const QVariant& a, const QVariant& b);

private:
    QString selectSql(bool lock) const;
    // One try, waiting at most `lockWaitMs` for the row on PostgreSQL.
    Outcome tryWrite(const QVariantList& read, const std::function<bool(QSqlQuery&)>& statement,
                     int lockWaitMs) const;

    QSqlDatabase m_db;
    QString m_table;
    QString m_keyColumn;
    QSqlQuery m_read; // prepared once: every move reads the new current row through it
    bool m_prepared = false;
    Dialogs* m_dialogs;
    QSqlError m_error;
};
