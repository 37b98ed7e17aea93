#pragma once

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariantList>

// What the old-office tests look at: every file of a folder with its checksum (to tell
// that nothing changed), and the rows a query gives on a database file.
namespace FolderCheck {

inline QStringList fingerprint(const QString& folder) {
    QStringList all;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        all << path + QLatin1Char(' ') + QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    }
    all.sort();
    return all;
}

inline QList<QVariantList> rows(const QString& file, const QString& sql) {
    QList<QVariantList> all;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(file);
        if (!db.open())
            return all;
        QSqlQuery query(db);
        query.exec(sql);
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row << query.value(i);
            all << row;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return all;
}

} // namespace FolderCheck
