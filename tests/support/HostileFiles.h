#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Files that are not an office database, each made at a path: what every reader of
// databases (start-up, restore) must refuse with a message, changing nothing on disk.
namespace HostileFiles {

// text, zero bytes, truncated, view instead of a table, missing column, a table WITHOUT
// ROWID, extra trigger,
// directory, FIFO, unreadable.
QStringList kinds();

// Makes a file of that kind at the path. Answers a regular expression the refusal
// must match (the name or the reason it gives), or an empty text when the kind cannot
// be made here (an unreadable file for the root user).
QString make(const QString& kind, const QString& path);

// What is at a path, read without ever opening a pipe: to tell that nothing changed.
QByteArray fingerprint(const QString& path);

} // namespace HostileFiles
