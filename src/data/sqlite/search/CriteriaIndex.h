#pragma once

#include "data/vocabulary/Query.h"
#include "data/vocabulary/Schema.h"
#include "platform/Result.h"

#include <QList>
#include <QString>
#include <QVariantList>

class QSqlDatabase;
struct sqlite3;

// Plain SQLite indexes on the fields the criteria search compares (a property's or a
// request's mq, type and purpose), added beside the tables when a database is opened,
// and how a query's conditions use them.
//
// Rows come in key order. A condition that few rows meet is best followed through its
// index (SQLite then sorts those rows); one that many rows meet is best checked row by
// row in key order, where the first page comes early. So before each page the indexed
// conditions are counted up to a bound, and the one with the fewest rows under it leads;
// the others are kept off their indexes.
//
// A text condition (the office's LIKE, or equality ignoring case) cannot be looked up in
// an index as it stands. Its index yields the field's distinct values, a few steps each;
// the condition's own function picks those that match, and only the rows holding one of
// them are read, each still confirmed by the condition: the same rows as a plain scan.
class CriteriaIndex {
public:
    // The indexes, marked as the search acceleration's: a database without them is as
    // good, only searched more slowly.
    static QList<Schema::SchemaObject> schemaObjects();
    // Adds those that are missing. A read-only database is left as it is.
    static Result install(sqlite3* db);

    // Whether `table` (immobile or richiesta) has the index over purpose, type, mq and price
    // that the matching walks.
    static bool hasMatchingIndex(sqlite3* db, const QString& table);

    // Whether any of the conditions of a query on `table` has an index here.
    static bool concerns(const QString& table, const QList<Query::Condition>& conditions);
    // The condition of a query on `table` that its rows are best found through, or -1
    // when none is: then they are read in key order.
    static int leading(sqlite3* db, const QSqlDatabase& connection, const QString& table,
                       const QList<Query::Condition>& conditions);
    // A condition as SQLite SQL, its values appended to `values`: through its index when it
    // leads, otherwise kept off it. Numbers compare as numbers whatever the field's declared
    // type in the file `db`.
    static QString conditionSql(sqlite3* db, const QString& table, const Query::Condition& condition, bool leads,
                                QVariantList& values);
};
