#pragma once

#include "DatabaseLocation.h"
#include "Result.h"

#include <QString>
#include <QVariantList>

class QSqlDatabase;

// The few places where the SQL of the two engines differs: the office's LIKE, the
// comparison of texts ignoring case, and what the server must hold for them. Every
// condition is written for one column with its values bound, never spliced into the SQL.
namespace EngineSql {

using Engine = DatabaseLocation::Engine;

// "column matches the pattern" with the office's rules (LikePattern); appends the
// values it binds.
QString like(Engine engine, const QString& column, const QString& pattern, QVariantList& values);

// "column equals the text, ignoring case"; appends the values it binds.
QString textEquals(Engine engine, const QString& column, const QString& text, QVariantList& values);

// PostgreSQL: what a trigram index on the column must cover for like() to use it.
QString trigramIndexExpression(const QString& column);

// PostgreSQL: makes the functions the conditions and the report formulas call on the
// server. SQLite's are added to each connection instead (SqlFunctions).
Result installFunctions(QSqlDatabase& db);

} // namespace EngineSql
