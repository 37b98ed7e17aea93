#pragma once

#include "Result.h"

#include <QString>
#include <QStringList>

// The positional settings files: one value a line, a value known only by its place.
//
// Reading follows the rules the files have always had: blanks at the start of a
// value are skipped; a value that begins with a double quote runs to the next
// double quote, commas included; any other value runs to the first comma or the
// end of the line. Writing quotes just the values those rules would otherwise
// change (a comma, a leading blank or quote), doubling any quote inside, so every
// value reads back exactly as written.
class SettingsFile {
public:
    struct Values {
        bool found = false;  // the file existed and could be read
        QStringList values;  // what could be read, at most the number asked for

        // The value at a line counted from 0; empty when the file was too short.
        QString at(qsizetype index) const { return values.value(index); }
        bool has(qsizetype index) const { return index < values.size(); }
    };

    // Reads the first `count` values of the file.
    static Values read(const QString& path, int count);

    // Replaces the file with these values, one a line, UTF-8 with CR LF. The write is
    // atomic: when it fails the old file stays whole and the result says why.
    static Result write(const QString& path, const QStringList& values);

    // The reading rules over a whole text.
    static QStringList parse(const QString& text, int count);
    // One value as it is written on its line.
    static QString encode(const QString& value);
    // UTF-8 when the bytes are valid UTF-8, otherwise Windows-1252 (the older program's files).
    static QString decode(const QByteArray& bytes);
    // Windows-1252 alone (texts of old Access files, which are never UTF-8).
    static QString decodeWindows1252(const QByteArray& bytes);
};
