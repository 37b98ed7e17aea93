#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QVariantList>
#include <functional>

class QSqlQuery;

// Writes one stored row only while it is still as this desk read it: another desk (another
// copy of the program on the same database, another connection) may have changed or
// deleted it since. Inside one transaction the row is locked against other writers, read
// again and compared, field by field, with the row as read before; only when nothing
// differs does the write run. Comparing the values read needs nothing added to the
// office's tables, so any other tool may go on writing them.
class RowGuard {
public:
    struct Outcome {
        enum class Kind { Written, Changed, Deleted, Failed };
        Kind kind = Kind::Failed;
        QVariantList stored; // Changed: the row as it is stored now
        QList<int> changed;  // Changed: the columns whose stored value is not the one read
        QSqlError error;     // Failed
    };

    // Rows are read as "SELECT <key>, * FROM <table>": the key first, then every column.
    RowGuard(const QSqlDatabase& db, const QString& table, const QString& keyColumn);

    // Runs `statement` (an UPDATE or DELETE of the row, prepared and run on the query it is
    // given; false when it failed) if the row is still `read`. Whatever is not Written
    // leaves the database as it was.
    Outcome write(const QVariantList& read, const std::function<bool(QSqlQuery&)>& statement) const;

    // The same value, read twice through the same driver: nulls are equal, numbers
    // exactly equal, texts equal to the character (a change of case is a change).
    static bool same(const QVariant& a, const QVariant& b);

private:
    QSqlDatabase m_db;
    QString m_table;
    QString m_keyColumn;
};
