#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>

// An old office's program folder, written on Windows: settings files in cp1252 naming
// files by Windows paths ("C:\Programmi\Immobiliare\daba.mdb"), report files of another
// report engine. Nothing here writes into the old folder.
namespace OldFolder {

// A path written on Windows: a drive letter ("C:") or a backslash.
bool isWindowsPath(const QString& path);

// Where a path of a settings file leads here.
struct Resolved {
    QString path;     // the file used; the path as written when none was found
    bool found = false;
    QString sentence; // one Italian sentence saying which file was used (empty when the path was plain)
};

// A path written in a settings file (`iniName` of `iniFolder`, what it names `what`):
// a Windows path is tried as written, then by its file name (in any case) in the program
// folder, then in the folder of the settings file.
Resolved resolve(const QString& written, const QString& programFolder, const QString& iniFolder, const QString& iniName,
                 const QString& what);

// A file of that name in the folder, found without regard to case; empty when none is.
QString findByName(const QString& folder, const QString& name);

// Report files (*.rpt) that are not this program's own (they do not start with "{", or
// they are an OLE compound document, another engine's format).
bool isForeignReport(const QString& path);

// Sets each foreign report file of the program's four aside as "<name>.rpt.originale"
// (never deleted; an older one is kept as ".originale-2", ...) and puts the program's own
// in its place. Answers one sentence saying what was set aside, empty when nothing was.
Result setForeignReportsAside(const QString& folder, const QString& programFolder, QString& said);

} // namespace OldFolder
