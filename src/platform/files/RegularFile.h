#pragma once

#include <QFile>
#include <QString>

// The program reads its pictures, databases and backups only from ordinary files: opening
// a pipe (FIFO) for reading waits for a writer that never comes, and a device or a folder
// is no picture or database either.
namespace RegularFile {

// Empty when the path names a readable ordinary file (or a link to one); otherwise
// what is wrong, as a phrase that follows "il file": "non esiste", "è una cartella",
// "non è un file normale (è una pipe, un dispositivo o un socket)", "non si può leggere
// (permesso negato)". A resource of the program (":/...") counts as an ordinary file.
QString problem(const QString& path);

// The mode for a file of the office's data (a database, a backup, a copy) about to take the
// place of `path`: the mode `path` has now, so what its owner chose is kept, or for a new
// file read and write for its owner alone (other users of the machine see no client).
QFile::Permissions modeReplacing(const QString& path);

} // namespace RegularFile
