#pragma once

// Shared by SearchIndex.cpp and SearchIndexObjects.cpp only: the statement wrapper and
// the list of objects the index makes in the file.

#include "data/sqlite/search/SearchIndex.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <sqlite3.h>

namespace SearchIndexDetail {

inline const QString stateTable = QStringLiteral("velmora_ricerca_stato");

// A statement prepared on the connection, finalized when it goes out of scope.
class Statement {
public:
    Statement(sqlite3* db, const QString& sql) {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &m_statement, nullptr) != SQLITE_OK)
            m_statement = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool ok() const { return m_statement != nullptr; }
    Statement& bind(int at, qint64 value) {
        sqlite3_bind_int64(m_statement, at, value);
        return *this;
    }
    Statement& bind(int at, const QString& value) {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(m_statement, at, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // One step: SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return m_statement ? sqlite3_step(m_statement) : SQLITE_ERROR; }
    bool run() { return step() == SQLITE_DONE; }
    qint64 integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    bool isNull(int column) const { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }
    QString text(int column) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column)),
                                 sqlite3_column_bytes(m_statement, column));
    }

private:
    sqlite3_stmt* m_statement = nullptr;
};

inline bool exec(sqlite3* db, const QString& sql) {
    return sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

QStringList indexedTables();
QList<SearchIndex::Field> fieldsOf(const QString& table);

// The objects of one table's index: (type, name, the exact statement that makes it).
struct Object {
    QString type;
    QString name;
    QString sql;
};

// The objects of a table's index in the order of creation, made once: they are compared at every open.
const QList<Object>& objectsOf(const QString& table);
QString stateTableSql();
// The indexed tables whose index objects are as this program makes them, with their row in
// the state table.
QStringList verifiedTablesOn(sqlite3* db);

} // namespace SearchIndexDetail
