#pragma once

#include "platform/Result.h"

#include <QList>
#include <QString>
#include <QStringList>

// A report file (*.rpt): the program's own JSON description of a printout. See
// docs/report.md for the format.
struct ReportDefinition {
    enum class Layout { List, Record };
    enum class Destination { Preview, Printer, Pdf };

    struct Column {
        QString field;
        QString caption;
        double width = 1;      // share of the page width, relative to the other columns
        bool currency = false; // a number printed as money with two decimals
    };

    struct Detail {
        QString title;
        QString table;
        QString key;           // the field of the detail table that holds the record's key
        QString masterKey;     // the record's key field
        QList<Column> columns;
        QStringList sort;
        QString empty;         // shown when a record has no detail rows
    };

    QString title;
    QString table;
    Layout layout = Layout::List;
    QList<Column> columns;
    QStringList sort;
    bool hasDetail = false;
    Detail detail;
    QString header;
    QString footer;
    QString empty = QStringLiteral("Nessun dato corrisponde alla selezione.");
    Destination destination = Destination::Preview;
    QString pdfFile;           // for the PDF destination; relative to the report file's folder
    QString windowTitle;

    // Reads and checks a report file; a file that cannot be used is refused with a
    // message naming it and saying why.
    static Result load(const QString& path, ReportDefinition& definition);
    static Result parse(const QByteArray& json, const QString& path, ReportDefinition& definition);
};
