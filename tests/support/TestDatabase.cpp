#include "TestDatabase.h"

#include "TestPostgres.h"
#include "data/folder/ProgramSettings.h"
#include "data/postgres/PostgresSchema.h"
#include "data/store/Database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

TestDatabase::Engine TestDatabase::engineUnderTest() {
    return qEnvironmentVariable("VELMORA_TEST_ENGINE").compare(QLatin1String("postgresql"), Qt::CaseInsensitive) == 0
               ? Engine::PostgreSQL
               : Engine::SQLite;
}

TestDatabase::TestDatabase() : TestDatabase(engineUnderTest()) {}

TestDatabase::TestDatabase(Engine engine) : m_engine(engine) {
    if (isPostgres())
        m_server = std::make_unique<TestPostgres>();
    if (!Database::create(path()).ok() || !ProgramSettings(m_folder.path()).saveDatabasePath(path()).ok())
        qFatal("cannot create the test database");
    if (isPostgres()) {
        m_connection = m_server->connectionName();
        return;
    }
    m_connection = QUuid::createUuid().toString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path());
    if (!db.open())
        qFatal("cannot open the test database");
}

TestDatabase::~TestDatabase() {
    if (isPostgres())
        return; // the server's side connection goes with it
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
}

QString TestDatabase::path() const {
    return isPostgres() ? m_server->address() : m_folder.file(QStringLiteral("daba.mdb"));
}

QString TestDatabase::keyColumn(const QString& table) const {
    return isPostgres() ? PostgresSchema::keyColumn(table) : QStringLiteral("rowid");
}

QSqlDatabase TestDatabase::connection() const {
    return QSqlDatabase::database(m_connection);
}

qint64 TestDatabase::insert(const QString& table, const QStringList& fields, const QVariantList& values) const {
    QStringList marks;
    for (qsizetype i = 0; i < fields.size(); ++i)
        marks << QStringLiteral("?");
    QSqlQuery query(connection());
    QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, fields.join(','), marks.join(','));
    if (isPostgres())
        sql += QStringLiteral(" RETURNING ") + keyColumn(table);
    query.prepare(sql);
    for (const QVariant& v : values)
        query.addBindValue(v);
    if (!query.exec())
        qFatal("insert failed: %s", qPrintable(query.lastError().text()));
    if (isPostgres())
        return query.next() ? query.value(0).toLongLong() : -1;
    return query.lastInsertId().toLongLong();
}

QVariant TestDatabase::value(const QString& table, qint64 rowid, const QString& field) const {
    QSqlQuery query(connection());
    query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(field, table, keyColumn(table)));
    query.addBindValue(rowid);
    if (!query.exec() || !query.next())
        return {};
    return query.value(0);
}

int TestDatabase::count(const QString& table) const {
    QSqlQuery query(connection());
    if (!query.exec(QStringLiteral("SELECT count(*) FROM %1").arg(table)) || !query.next())
        return -1;
    return query.value(0).toInt();
}

void TestDatabase::exec(const QString& sql) const {
    QSqlQuery query(connection());
    if (!query.exec(sql))
        qFatal("exec failed: %s", qPrintable(query.lastError().text()));
}
