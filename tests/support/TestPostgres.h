#pragma once

#include <QSqlDatabase>
#include <QString>

// A fresh, empty PostgreSQL database on the tests' own server (scripts/pg-server.sh, started
// by ctest's "postgresql" fixture; VELMORA_TEST_POSTGRES names the file that holds its
// address, or the address itself), dropped again at the end. Without a server the test
// stops loudly: these tests are never skipped in silence.
class TestPostgres {
public:
    TestPostgres();
    ~TestPostgres();
    TestPostgres(const TestPostgres&) = delete;
    TestPostgres& operator=(const TestPostgres&) = delete;

    // postgresql://velmora@127.0.0.1:PORT/<fresh database>, as daba.ini would name it.
    const QString& address() const { return m_address; }
    const QString& databaseName() const { return m_name; }

    // A side connection to the fresh database, for a test to fill and inspect it directly.
    QSqlDatabase connection() const;
    const QString& connectionName() const { return m_connection; }

    // The server's own address (its maintenance database), as the fixture wrote it.
    static QString serverAddress();
    // Runs a statement on the maintenance database: what a database cannot do to itself.
    static void runOnServer(const QString& sql);

private:
    QString m_address;
    QString m_name;
    QString m_connection;
};
