#pragma once

#include "DatabaseLocation.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <optional>

class Regional;

// What a record source shows: all rows of one table, or those that meet some conditions.
// A query knows its conditions, so it runs as parameterized SQL (a user's text never
// becomes SQL), and renders the text the office has always seen for it.
// A query whose bounds cannot be read (a number bound "12,5", a date bound "domani")
// is invalid: it says why, and a record source refuses it.
class Query {
public:
    struct Condition {
        enum Kind {
            Like,           // field matches a pattern (see LikePattern)
            TextEquals,     // field equals a text, ignoring case
            NumberEquals,   // field equals a number
            NumberBetween,  // first <= field <= second
            DateBetween,    // first <= field's day <= second, ISO days (see storedDay)
        } kind;
        QString field;
        QVariant first;
        QVariant second;
        QString dateOrder = {}; // DateBetween: how a stored date that is not ISO is read (Regional::dateOrder)
        QString table = {};     // DateBetween: the field's table
    };

    // A typed bound and the caption of the field it was typed in, for messages.
    struct Bound {
        QString text;
        QString caption;
    };

    Query() = default;

    // The whole table, as a record source names it at design time: "immobile".
    static Query table(const QString& table);
    // The whole table again after a search: "SELECT * FROM immobile ".
    static Query all(const QString& table);
    // "SELECT * FROM immobile WHERE proprietario LIKE '*" + text + "*'"
    static Query contains(const QString& table, const QString& field, const QString& text);
    // "SELECT * FROM foto WHERE idimmobile =" + key
    static Query keyEquals(const QString& table, const QString& field, const QString& key);
    // "SELECT * FROM immobile WHERE mq BETWEEN " + from + " and " + to + " and motivo ='" + purpose
    //     + "' and tipologia like'*" + type + "*'"
    static Query criteria(const QString& table, const Bound& from, const Bound& to, const QString& purpose,
                          const QString& typeField, const QString& type);
    // "SELECT * FROM agenda WHERE datap BETWEEN #" + first + "# AND #" + last + "# "
    static Query dateRange(const QString& table, const QString& field, const Bound& first, const Bound& last,
                           const Regional& regional);

    const QString& tableName() const { return m_table; }
    const QString& text() const { return m_text; }
    const QList<Condition>& conditions() const { return m_conditions; }

    // Whether the query can run on that engine: on PostgreSQL a LIKE pattern is at most
    // PostgresPattern::longestPattern characters long; a longer one is refused in a sentence.
    Result runsOn(DatabaseLocation::Engine engine) const;

    // One condition as SQL for an engine, its values appended to `values` in the order of
    // their places. SQLite uses the program's functions (vlike, vequal); PostgreSQL uses
    // regular expressions (PostgresPattern) that a pg_trgm index on the field serves, and
    // compares dates (ISO text) in code-point order as SQLite does, whatever the locale.
    // Check runsOn() first.
    static QString conditionSql(const Condition& condition, DatabaseLocation::Engine engine, QVariantList& values);

    // The day a stored date text stands for, as ISO text: an ISO date (a time after it
    // is left out) by its first ten characters, any other by the regional reading
    // (Regional::parseDate with `order`); null when it is not a date. SQL's vdate(text, order).
    static QString storedDay(const QString& stored, QStringView order);
    // vdate over a column, for the engine; on PostgreSQL an ISO date is taken as it is
    // without calling the function. `order` is appended to `values`.
    static QString storedDaySql(const QString& column, const QString& order, DatabaseLocation::Engine engine,
                                QVariantList& values);

    bool isValid() const { return m_error.isEmpty(); }
    // Why the query cannot run; empty when it can.
    const QString& error() const { return m_error; }

private:
    Query(const QString& table, const QString& text) : m_table(table), m_text(text) {}
    static QString dateBetweenSql(const Condition& condition, const QString& field, DatabaseLocation::Engine engine,
                                  QVariantList& values);
    void addNumberBound(const Bound& bound, QVariant& into);

    QString m_table;
    QString m_text;
    QList<Condition> m_conditions;
    QString m_error;
};
