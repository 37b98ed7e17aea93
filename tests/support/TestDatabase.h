#pragma once

#include "TestFolder.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>

// A program folder with a fresh database of the six tables named in its daba.ini,
// and a side connection for a test to fill and inspect tables directly.
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();

    const TestFolder& folder() const { return m_folder; }
    QString path() const { return m_folder.file(QStringLiteral("daba.mdb")); }

    // Inserts a row and answers its rowid.
    qint64 insert(const QString& table, const QStringList& fields, const QVariantList& values) const;
    // One value of one row; an invalid QVariant for a null or a missing row.
    QVariant value(const QString& table, qint64 rowid, const QString& field) const;
    int count(const QString& table) const;
    void exec(const QString& sql) const;

private:
    TestFolder m_folder;
    QString m_connection;
};
