#pragma once

#include <QString>

class QSqlError;

// The database engine speaks English ("unable to open database file"); the office reads
// Italian. These turn the engine's result codes into one plain phrase that finishes a
// sentence of the caller's, and say what really failed where the code alone is vague.
namespace EngineError {

// An SQLite result code (primary or extended). `path`, when given, is the file the
// operation worked on: a file that cannot be opened is then told apart (missing folder,
// permission, a folder or a pipe in its place).
QString describe(int sqliteCode, const QString& path = QString());

// The same for an error that came through Qt's SQL module.
QString describe(const QSqlError& error, const QString& path = QString());

// The same for an error met while reading rows for a report, in the words the report has
// always used.
QString describeReading(const QSqlError& error);

} // namespace EngineError
