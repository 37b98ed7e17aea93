#include "TestDatabase.h"

#include "Database.h"
#include "ProgramSettings.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

TestDatabase::TestDatabase() {
    if (!Database::create(path()).ok() || !ProgramSettings(m_folder.path()).saveDatabasePath(path()).ok())
        qFatal("cannot create the test database");
    m_connection = QUuid::createUuid().toString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path());
    if (!db.open())
        qFatal("cannot open the test database");
}

TestDatabase::~TestDatabase() {
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

qint64 TestDatabase::insert(const QString& table, const QStringList& fields, const QVariantList& values) const {
    QStringList marks;
    for (qsizetype i = 0; i < fields.size(); ++i)
        marks << QStringLiteral("?");
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, fields.join(','), marks.join(',')));
    for (const QVariant& v : values)
        query.addBindValue(v);
    if (!query.exec())
        qFatal("insert failed: %s", qPrintable(query.lastError().text()));
    return query.lastInsertId().toLongLong();
}

QVariant TestDatabase::value(const QString& table, qint64 rowid, const QString& field) const {
    QSqlQuery query(QSqlDatabase::database(m_connection));
    query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(field, table));
    query.addBindValue(rowid);
    if (!query.exec() || !query.next())
        return {};
    return query.value(0);
}

int TestDatabase::count(const QString& table) const {
    QSqlQuery query(QSqlDatabase::database(m_connection));
    if (!query.exec(QStringLiteral("SELECT count(*) FROM %1").arg(table)) || !query.next())
        return -1;
    return query.value(0).toInt();
}

void TestDatabase::exec(const QString& sql) const {
    QSqlQuery query(QSqlDatabase::database(m_connection));
    if (!query.exec(sql))
        qFatal("exec failed: %s", qPrintable(query.lastError().text()));
}
