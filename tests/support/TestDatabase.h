#pragma once

#include "TestFolder.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>
#include <memory>

class TestPostgres;

// A program folder with a fresh database of the six tables named in its daba.ini,
// and a side connection for a test to fill and inspect tables directly.
//
// The database is a SQLite file, or, when the test runs with VELMORA_TEST_ENGINE=postgresql
// (ctest's *_postgresql copies of a test, see velmora_also_on_postgres), a fresh database on
// the tests' PostgreSQL server: the same test then checks both engines.
class TestDatabase {
public:
    enum class Engine { SQLite, PostgreSQL };

    TestDatabase();
    explicit TestDatabase(Engine engine);
    ~TestDatabase();

    // The engine the test runs against, as VELMORA_TEST_ENGINE says.
    static Engine engineUnderTest();
    static bool onPostgres() { return engineUnderTest() == Engine::PostgreSQL; }

    bool isPostgres() const { return m_engine == Engine::PostgreSQL; }
    const TestFolder& folder() const { return m_folder; }
    // daba.ini's value: the file, or the server's address.
    QString path() const;

    // The column that identifies rows: rowid, or on PostgreSQL the key or hidden rowid.
    QString keyColumn(const QString& table) const;
    QSqlDatabase connection() const;

    // Inserts a row and answers its key (rowid).
    qint64 insert(const QString& table, const QStringList& fields, const QVariantList& values) const;
    // One value of one row; an invalid QVariant for a null or a missing row.
    QVariant value(const QString& table, qint64 rowid, const QString& field) const;
    int count(const QString& table) const;
    void exec(const QString& sql) const;

private:
    Engine m_engine;
    TestFolder m_folder;
    std::unique_ptr<TestPostgres> m_server;
    QString m_connection;
};
