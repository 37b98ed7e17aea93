#pragma once

#include "platform/Result.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a move from an old office's archive found and did: the rows copied per table,
// and everything that could not be placed as it was (listed, never dropped).
class ConversionReport {
public:
    // A value kept otherwise than its field would hold it, or a row placed otherwise.
    struct Listed {
        QString table;
        QString row;   // "chiave 12" or "riga 7"
        QString field;
        QString value; // as it was kept
        QString why;
    };

    QString source;  // the old file
    QString target;  // the new database
    QString version; // "Jet 4", ...
    QList<QPair<QString, qint64>> rows; // table, rows copied
    QStringList missingTables;
    QStringList extraTables;
    QStringList missingFields; // "immobile.zona"
    QStringList extraFields;
    QList<Listed> values;
    int photosFound = 0;
    QStringList photosMissing; // as foto.foto names them
    QStringList notes;         // other things said once (files resolved, report files set aside)

    // Whether anything was listed: a table, a field, a value or a photo not found.
    bool anythingListed() const;

    // The whole report, in Italian, one item a line.
    QString text() const;
    // The same, at most `maxValues` listed values and missing photos each (the rest counted).
    QString text(int maxValues) const;

    // Writes text() beside the new database; answers the path written, and keeps it
    // (writtenPath()).
    Result write(QString* written = nullptr) const;
    // Where the report of a new database goes: "daba-velmora-trasferimento.txt" beside it,
    // numbered ("-2", ...) when an earlier move left one there.
    static QString pathFor(const QString& target);
    // The file write() wrote, empty before.
    QString writtenPath() const { return m_written; }

private:
    mutable QString m_written;
};
