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
    // Holds another table's key (a visit's property and request, a photo's property).
    bool linksToKey = false;
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

// The fields searched as the user types, on either engine.
struct SearchField {
    QString table;
    QString field;
};
const QList<SearchField>& searchFields();
bool isSearchField(const QString& table, const QString& field);

// One object of a database's schema (a table, an index, a trigger) as this program
// itself creates it. `implicit` objects are made by SQLite on its own (sqlite_sequence,
// autoindexes, the shadow tables of a virtual table): never created by us, only accepted.
// A name ending in '*' stands for every name that begins with the rest.
struct SchemaObject {
    QString type; // as sqlite_master says it: "table", "index", "trigger"
    QString name;
    QString sql; // as created; empty where SQLite keeps none (autoindexes)
    bool implicit = false;
    // Added by the search index when a database is opened (SearchIndex::install), not
    // when it is created: a database without them is as good, only searched more slowly.
    bool searchIndex = false;
};

// SQL reduced to a form that compares equal when only blanks, letter case outside
// quotes, or a final semicolon differ.
QString normalisedSql(const QString& sql);

} // namespace Schema
