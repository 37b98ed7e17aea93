#include "TestPostgres.h"

#include <QSqlQuery>
#include <QTest>

// The tests' own PostgreSQL server: reachable, fresh databases apart, and with what the
// program needs of it.
class PostgresTest : public QObject {
    Q_OBJECT

private slots:
    void freshDatabasesAreEmptyAndApart() {
        TestPostgres first;
        TestPostgres second;
        QVERIFY(first.databaseName() != second.databaseName());
        QSqlQuery(first.connection()).exec("CREATE TABLE prova (x integer)");
        QSqlQuery tables(second.connection());
        QVERIFY(tables.exec("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"));
        QVERIFY(tables.next());
        QCOMPARE(tables.value(0).toInt(), 0);
    }

    void theTrigramExtensionIsThere() {
        TestPostgres database;
        QSqlQuery query(database.connection());
        QVERIFY(query.exec("CREATE EXTENSION IF NOT EXISTS pg_trgm"));
        QVERIFY(query.exec("SELECT similarity('Rossi', 'Rosso') > 0"));
        QVERIFY(query.next());
        QVERIFY(query.value(0).toBool());
    }
};

QTEST_GUILESS_MAIN(PostgresTest)
#include "tst_postgres.moc"
