#pragma once

#include <QList>
#include <QString>

// The six tables of the office database and how each field's values are kept.
namespace Schema {

enum class FieldKind {
    Key,     // assigned by the database, never written by the program
    Text,    // kept as typed
    Number,  // a number; typed in the regional form (12,5)
    Date,    // a date kept as ISO text (2026-12-06), typed and shown in the regional short form
};

struct Field {
    QString name;
    FieldKind kind;
};

struct Table {
    QString name;
    QList<Field> fields;
};

const QList<Table>& tables();

// The table of that name (matched without regard to case), or nullptr.
const Table* table(const QString& name);
// The field of a table (matched without regard to case), or nullptr.
const Field* field(const QString& table, const QString& field);

// The statements that create the six tables, and the indexes that make the lists of a
// property's photos and visits, and the diary's range of days, quick.
QStringList createStatements();

} // namespace Schema
