#pragma once

#include "data/vocabulary/Schema.h"

#include <QList>
#include <QStringList>

// The schema objects of a SQLite file of the office: what the program creates, and all it
// accepts in a file it opens.
namespace SqliteSchema {

// Every schema object this program creates in its databases, in the order of creation:
// the six tables, the indexes of a property's photos and visits and of the diary's days,
// what SQLite adds itself, then the search index's tables and triggers with the tables
// SQLite makes for them (SearchIndex::schemaObjects).
// A database is opened or restored only when each object it holds is one of these, with
// the same SQL (see normalisedSql): anything else, a trigger above all, could act on every
// edit. Whatever else the program comes to create belongs here too.
const QList<Schema::SchemaObject>& ownObjects();

// The object of that type and name in ownObjects(), or nullptr.
const Schema::SchemaObject* ownObject(const QString& type, const QString& name);

// The statements that create a new database: the SQL of every object of
// ownObjects() that is neither implicit nor the search index's, in order.
QStringList createStatements();

} // namespace SqliteSchema
