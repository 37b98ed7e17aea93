#include "TestPostgres.h"

#include "data/vocabulary/DatabaseLocation.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

QSqlDatabase connect(const DatabaseLocation& location, const QString& name) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(location.host());
    db.setPort(location.port());
    db.setUserName(location.user());
    db.setDatabaseName(location.databaseName());
    db.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    db.setConnectOptions(QStringLiteral("options='-c client_min_messages=warning'"));
    if (!db.open())
        qFatal("PostgreSQL test server not reachable at %s: %s", qPrintable(location.text()),
               qPrintable(db.lastError().text()));
    return db;
}

void run(const QSqlDatabase& db, const QString& sql) {
    QSqlQuery query(db);
    if (!query.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
}

DatabaseLocation serverLocation() {
    DatabaseLocation location;
    const QString address = TestPostgres::serverAddress();
    if (!DatabaseLocation::parse(address, location).ok() || !location.isPostgres())
        qFatal("not a PostgreSQL address: %s", qPrintable(address));
    return location;
}

} // namespace

QString TestPostgres::serverAddress() {
    QString value = qEnvironmentVariable("VELMORA_TEST_POSTGRES");
    if (value.isEmpty())
        qFatal("VELMORA_TEST_POSTGRES is not set: run this test through ctest, whose \"postgresql\" fixture "
               "starts the server (scripts/pg-server.sh)");
    if (!value.startsWith(QLatin1String("postgres"))) {
        QFile file(value);
        if (!file.open(QIODevice::ReadOnly))
            qFatal("the PostgreSQL test server did not start: %s is missing", qPrintable(value));
        value = QString::fromUtf8(file.readAll()).trimmed();
    }
    return value;
}

void TestPostgres::runOnServer(const QString& sql) {
    const QString admin = QUuid::createUuid().toString();
    {
        QSqlDatabase db = connect(serverLocation(), admin);
        run(db, sql);
        db.close();
    }
    QSqlDatabase::removeDatabase(admin);
}

TestPostgres::TestPostgres() {
    static QAtomicInt counter;
    const DatabaseLocation server = serverLocation();
    m_name = QStringLiteral("velmora_t%1_%2").arg(QCoreApplication::applicationPid()).arg(counter.fetchAndAddRelaxed(1));
    {
        const QString admin = QUuid::createUuid().toString();
        {
            QSqlDatabase db = connect(server, admin);
            run(db, QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_name));
            run(db, QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8'").arg(m_name));
            db.close();
        }
        QSqlDatabase::removeDatabase(admin);
    }
    DatabaseLocation fresh;
    (void)DatabaseLocation::parse(QStringLiteral("postgresql://%1@%2:%3/%4")
                                      .arg(server.user(), server.host())
                                      .arg(server.port())
                                      .arg(m_name),
                                  fresh);
    m_address = fresh.text();
    m_connection = QUuid::createUuid().toString();
    connect(fresh, m_connection);
}

TestPostgres::~TestPostgres() {
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
    const QString admin = QUuid::createUuid().toString();
    {
        QSqlDatabase db = connect(serverLocation(), admin);
        // Other connections the test left open (a program's) must not keep the database alive.
        QSqlQuery(db).exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
        db.close();
    }
    QSqlDatabase::removeDatabase(admin);
}

QSqlDatabase TestPostgres::connection() const {
    return QSqlDatabase::database(m_connection);
}
